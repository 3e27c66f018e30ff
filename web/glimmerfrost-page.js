// The page around the engine: loads the WebAssembly and the data set, shows the
// start screen, runs the live show one pass per animation frame with the music
// through Web Audio, and the two offline modes:
//   ?frames=N,N,...&fps=F  the listed frames' SHA-256, one "N <hash>" line each, in #frame-hashes
//                          (&gentle: of the gentle show, as the desktop's --gentle renders it)
//                          (&start=O:R: counted from the first frame at or after O:R, as --start does)
//   ?benchmark             the cost of a frame per order, as the desktop's --benchmark prints it
// ?autoplay starts the live show without the click (headless measurements) and,
// once it is over, puts the latest sync seen into #results. With &report=PATH the
// page also POSTs what it put in #results to PATH once done (scripts/web-measure.py).
'use strict';

const kRate = 44100;
const kChunkFrames = 4096; // frames of music per AudioBuffer
// The data files, kDataFiles, come from data-files.js, which the build writes from the data set's manifest.
// Keys that on their own do nothing, as on the desktop.
const kQuietKeys = new Set(['Shift', 'Control', 'Alt', 'AltGraph', 'Meta', 'OS', 'Super', 'Hyper', 'CapsLock',
  'NumLock', 'ScrollLock', 'Fn', 'FnLock', 'AudioVolumeUp', 'AudioVolumeDown', 'AudioVolumeMute',
  'MediaPlayPause', 'MediaTrackNext', 'MediaTrackPrevious', 'MediaStop', 'Unidentified']);

// The player's keys, as in common video players (numbers: the engine's viewer key roles).
// Every other key does nothing.
const kPause = 3;
const kPreviousOrder = 4;
const kNextOrder = 5;
const kNextFrame = 6;
const kPreviousFrame = 7;
const kToStart = 8;
const kViewerKeys = {
  ' ': kPause, k: kPause, ArrowLeft: kPreviousOrder, j: kPreviousOrder, ArrowRight: kNextOrder, l: kNextOrder,
  '.': kNextFrame, ',': kPreviousFrame, Home: kToStart, f: 'full', m: 'mute', Escape: 'end',
};

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);
let engine = null;
let lastError = '';

function say(text, isError) {
  $('message').textContent = text;
  $('message').className = isError ? 'error' : '';
}

// What went wrong, in words, whatever was thrown: an Error, or whatever else the engine threw.
function errorText(e) {
  if (e instanceof Error && e.message) return e.message;
  return lastError || 'the engine stopped (' + e + ')';
}

// A failure before or during start-up: said in words, never a blank canvas.
function fail(text) {
  say(text, true);
  $('stage').classList.remove('on');
  $('start').style.display = '';
  document.title = 'Glimmerfrost: ' + text;
  if (params.has('report')) fetch(params.get('report'), { method: 'POST', body: 'failed: ' + text });
}

async function loadEngine() {
  if (typeof WebAssembly !== 'object' || typeof createGlimmerfrost !== 'function') {
    throw new Error(typeof WebAssembly !== 'object'
      ? 'This browser cannot run WebAssembly, which the show needs.'
      : 'glimmerfrost.js could not be loaded.');
  }
  if (typeof kDataFiles === 'undefined') throw new Error('data-files.js could not be loaded.');
  const module = await createGlimmerfrost({
    print: (line) => { $('results').textContent += line + '\n'; },
    printErr: (line) => { lastError = line.replace(/^glimmerfrost: /, ''); console.error(line); },
    onAbort: (what) => { lastError = 'the engine stopped: ' + what; },
  }).catch((e) => { throw new Error('glimmerfrost.wasm could not be loaded (' + (lastError || e) + ').'); });
  module.FS.mkdir('/data');
  for (const name of kDataFiles) {
    let response;
    try {
      response = await fetch('data/' + name);
    } catch (e) {
      throw new Error('data/' + name + ' could not be fetched (' + e.message + ').');
    }
    if (!response.ok) {
      throw new Error('data/' + name + ' is missing (HTTP ' + response.status + ').');
    }
    module.FS.writeFile('/data/' + name, new Uint8Array(await response.arrayBuffer()));
  }
  return module;
}

// The canvas takes each presented frame: 0x00RRGGBB words to RGBA bytes.
function attachCanvas(module) {
  const context = $('screen').getContext('2d');
  const image = context.createImageData(320, 200);
  const rgba = image.data;
  module.gfPresent = (pointer) => {
    const words = new Uint32Array(module.HEAPU8.buffer, pointer, 64000);
    for (let i = 0, j = 0; i < 64000; ++i, j += 4) {
      const w = words[i];
      rgba[j] = (w >>> 16) & 255;
      rgba[j + 1] = (w >>> 8) & 255;
      rgba[j + 2] = w & 255;
      rgba[j + 3] = 255;
    }
    context.putImageData(image, 0, 0);
  };
}

// The music: rendered ahead in chunks, each an AudioBuffer started where the
// previous one ends on the audio clock. The stream's frame count by that clock
// is what the engine's position and syncs follow. Without Web Audio the same
// stream is rendered against the page's clock and thrown away: a silent show.
class Sound {
  constructor(module) {
    this.module = module;
    this.queued = 0; // stream frames rendered and scheduled
    this.context = null;
    const Context = window.AudioContext || window.webkitAudioContext;
    // At the music's own rate where the browser allows it; otherwise Web Audio resamples.
    for (const options of [{ sampleRate: kRate }, {}]) {
      try {
        this.context = Context ? new Context(options) : null;
        break;
      } catch (e) {
        this.context = null;
      }
    }
    if (this.context && this.context.state === 'suspended') this.context.resume();
    this.start = this.now() + 0.1;
    this.sources = new Set(); // scheduled and not yet ended
    this.gain = this.context ? this.context.createGain() : null; // M mutes
    if (this.gain) this.gain.connect(this.context.destination);
    this.paused = false;
  }
  // The music was sought to stream frame `at`: what was scheduled goes, and the
  // stream carries on from `at`, heard from a moment from now.
  rebase(at) {
    for (const source of this.sources) source.stop();
    this.sources.clear();
    this.queued = at;
    this.start = this.now() + 0.05 - at / kRate;
  }
  // Held, the audio clock stands still, and with it the position and the syncs.
  pause(paused) {
    this.paused = paused;
    if (!this.context) {
      if (!paused) this.start = this.now() + 0.05 - this.queued / kRate; // no sound: the stream restarts from where it was rendered
      return;
    }
    if (paused) this.context.suspend(); else this.context.resume();
  }
  now() { return this.context ? this.context.currentTime : performance.now() / 1000; }
  // The stream frame the clock has reached.
  frame() { return Math.max(0, (this.now() - this.start) * kRate); }
  // Keeps the sound rendered ahead; longer while the tab is in the background,
  // where timers run rarely. After a gap (the tab was asleep), the stream carries
  // on from now, so the clock and what is heard stay together. The syncs whose
  // notes the clock has reached fire here too, so they keep time in the
  // background as they do on the desktop's audio thread.
  pump() {
    if (this.paused) return;
    this.module._gf_web_advance(this.frame());
    const now = this.now();
    const lead = document.hidden ? 3.0 : 0.35;
    if (this.start + this.queued / kRate < now + 0.02) {
      this.start = now + 0.05 - this.queued / kRate;
    }
    while (this.start + this.queued / kRate < now + lead) {
      const pointer = this.module._gf_web_render_audio(kChunkFrames);
      if (pointer === 0) return;
      if (this.context) this.schedule(new Int16Array(this.module.HEAPU8.buffer, pointer, kChunkFrames * 2));
      this.queued += kChunkFrames;
    }
  }
  schedule(samples) {
    const buffer = this.context.createBuffer(2, kChunkFrames, kRate);
    const left = buffer.getChannelData(0);
    const right = buffer.getChannelData(1);
    for (let i = 0; i < kChunkFrames; ++i) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    const source = this.context.createBufferSource();
    source.buffer = buffer;
    source.connect(this.gain);
    source.onended = () => this.sources.delete(source);
    this.sources.add(source);
    source.start(this.start + this.queued / kRate);
  }
  // M and the Mute button; the volume slider sets the level heard when not muted.
  setSound(muted, volume) {
    if (this.gain) this.gain.gain.value = muted ? 0 : volume;
  }
  close() {
    if (this.context) this.context.close();
  }
}

// The gentle switch: the flash limiter for the live show. The viewer's choice is
// remembered; until there is one, it follows the system's reduced-motion setting.
const kGentleKey = 'glimmerfrost.gentle';

function storedGentle() {
  try {
    return localStorage.getItem(kGentleKey);
  } catch (e) {
    return null; // storage blocked: the choice lasts for this visit only
  }
}

function setUpGentleSwitch() {
  const stored = storedGentle();
  $('gentle').checked = stored !== null ? stored === '1'
    : window.matchMedia('(prefers-reduced-motion: reduce)').matches;
  $('gentle').addEventListener('change', () => rememberGentle($('gentle').checked));
  // The same switch in the player's controls: it turns the limiter on or off in the
  // running show, from the next frame, and is remembered as the start screen's is.
  $('gentle-now').addEventListener('change', (event) => {
    event.currentTarget.blur();
    const on = $('gentle-now').checked;
    $('gentle').checked = on;
    rememberGentle(on);
    if (show) engine._gf_web_set_gentle(on ? 1 : 0);
  });
}

function rememberGentle(on) {
  try {
    localStorage.setItem(kGentleKey, on ? '1' : '0');
  } catch (e) {
    // storage blocked: as above
  }
}

let show = null;

function report() {
  if (params.has('report')) fetch(params.get('report'), { method: 'POST', body: $('results').textContent });
}

function play() {
  if (show || !engine) return;
  $('gentle-now').checked = $('gentle').checked;
  if (engine._gf_web_start($('gentle').checked ? 1 : 0) !== 0) {
    fail(lastError || 'The show could not start.');
    return;
  }
  const sound = new Sound(engine);
  show = { sound, timer: setInterval(() => sound.pump(), 250), seeks: engine._gf_web_seeks(), began: performance.now() };
  engine.gfPause = (paused) => {
    sound.pause(paused !== 0);
    show.paused = paused !== 0;
    $('toggle').textContent = show.paused ? 'Play' : 'Pause';
    $('toggle').title = (show.paused ? 'Play' : 'Pause') + ' (Space or K)';
    wake();
    if (paused) {
      // The address then names the moment, to be copied.
      const at = engine._gf_web_position();
      history.replaceState(null, '', '#t=' + (at & 0xffff) + ':' + (at >>> 16));
    }
  };
  buildTimeline();
  applySound();
  wake();
  // #t=ORDER:ROW starts there.
  const link = /^#t=(\d{1,5})(?::(\d{1,5}))?$/.exec(location.hash);
  if (link) engine._gf_web_seek(Number(link[1]), Number(link[2] || 0));
  follow_seeks();
  say('', false);
  $('note').textContent = sound.context ? '' : 'No Web Audio in this browser: the show plays silently.';
  $('start').style.display = 'none';
  $('stage').classList.add('on');
  sound.pump();
  requestAnimationFrame(pass);
}

// After a seek the sound starts again from where the music was left.
function follow_seeks() {
  const seeks = engine._gf_web_seeks();
  if (seeks === show.seeks) return;
  show.seeks = seeks;
  show.sound.rebase(engine._gf_web_stream_frame());
  show.sound.pump();
}

function pass() {
  if (!show) return;
  show.sound.pump();
  if (engine._gf_web_step(show.sound.frame()) === 0) {
    end();
    return;
  }
  follow_seeks();
  showPosition();
  if (show.tableFilled === undefined && engine._gf_web_seek_table_full() !== 0) {
    show.tableFilled = (performance.now() - show.began) / 1000; // every position now seeks from a checkpoint near it
  }
  requestAnimationFrame(pass);
}

// ---------------------------------------------------------------- the player's controls

// What each order of the music shows.
const kScenes = ['intro picture, flashes and snow; the swirl', 'planes under the fading zoom', 'planes',
  'planes turning', 'tunnel with glowing cubes', 'tunnel with glowing cubes', 'picture band and snow',
  'picture band, noise and flashes', 'credits', 'beat-switched scenes', 'beat-switched scenes',
  'beat-switched scenes', 'glowing cubes and picture', 'glowing cubes and picture', 'closing picture and flashes',
  'closing flashes', 'fade-out'];
let muted = false;
let idleTimer = 0;

function minutes(seconds) {
  const s = Math.max(0, Math.floor(seconds));
  return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
}

function buildTimeline() {
  const timeline = $('timeline');
  for (const old of timeline.querySelectorAll('.mark')) old.remove();
  const room = 64;
  const out = engine._malloc(8 * room);
  const count = engine._gf_web_orders(out, room);
  const values = Array.from(new Float64Array(engine.HEAPU8.buffer, out, count + 1));
  engine._free(out);
  show.length = values[0] > 0 ? values[0] : 1;
  timeline.setAttribute('aria-valuemax', String(Math.round(show.length)));
  values.slice(1).forEach((start, order) => {
    const mark = document.createElement('div');
    mark.className = 'mark';
    mark.tabIndex = 0;
    mark.style.left = (100 * start / show.length) + '%';
    const label = order + ':0 ' + (kScenes[order] || 'order ' + order) + ' (' + minutes(start) + ')';
    mark.setAttribute('aria-label', label);
    const tip = () => {
      $('tip').textContent = label;
      $('tip').style.left = mark.style.left;
      $('tip').style.display = 'block';
    };
    mark.addEventListener('mouseenter', tip);
    mark.addEventListener('focus', tip);
    mark.addEventListener('mouseleave', () => { $('tip').style.display = 'none'; });
    mark.addEventListener('blur', () => { $('tip').style.display = 'none'; });
    mark.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') {
        event.stopPropagation();
        engine._gf_web_seek(order, 0);
      }
    });
    timeline.appendChild(mark);
  });
}

// The position heard now: m:ss of the show and ORDER:ROW.
function showPosition() {
  const seconds = show.sound.frame() / kRate;
  const at = engine._gf_web_position();
  const text = minutes(seconds) + ' · ' + (at & 0xffff) + ':' + (at >>> 16);
  if ($('clock').textContent !== text) $('clock').textContent = text;
  $('elapsed').style.width = Math.min(100, 100 * seconds / show.length) + '%';
  $('timeline').setAttribute('aria-valuenow', String(Math.round(seconds)));
  $('timeline').setAttribute('aria-valuetext', text);
}

// The controls show on any pointer move or tap, and hide after a while of playing.
function wake() {
  if (!show) return;
  $('stage').classList.remove('idle');
  clearTimeout(idleTimer);
  if (!show.paused) idleTimer = setTimeout(() => { if (show && !show.paused) $('stage').classList.add('idle'); }, 2500);
}

function applySound() {
  if (show) show.sound.setSound(muted, Number($('volume').value) / 100);
  $('mute').textContent = muted ? 'Unmute' : 'Mute';
}

function toggleMute() {
  muted = !muted;
  applySound();
}

// A click or a drag on the timeline seeks there, exactly as the keys do.
function seekAt(event) {
  const box = $('timeline').getBoundingClientRect();
  const share = Math.min(1, Math.max(0, (event.clientX - box.left) / box.width));
  engine._gf_web_seek_ms(share * show.length * 1000);
}

$('timeline').addEventListener('pointerdown', (event) => {
  if (!show) return;
  event.preventDefault();
  $('timeline').setPointerCapture(event.pointerId);
  show.dragging = true;
  seekAt(event);
});
$('timeline').addEventListener('pointermove', (event) => {
  if (!show || !show.dragging) return;
  // At most one seek an animation frame while dragging.
  if (show.dragPending) return;
  show.dragPending = true;
  requestAnimationFrame(() => {
    if (show) {
      show.dragPending = false;
      seekAt(event);
    }
  });
});
for (const kind of ['pointerup', 'pointercancel']) {
  $('timeline').addEventListener(kind, () => { if (show) show.dragging = false; });
}
// Buttons let go of the focus once clicked, so that Space stays the player's key.
$('toggle').addEventListener('click', (event) => {
  event.currentTarget.blur();
  if (show) engine._gf_web_viewer_key(kPause);
});
$('mute').addEventListener('click', (event) => {
  event.currentTarget.blur();
  toggleMute();
});
$('volume').addEventListener('input', applySound);
for (const kind of ['pointermove', 'pointerdown']) $('stage').addEventListener(kind, wake);
// A tap or click on the picture itself pauses or plays.
$('screen').addEventListener('click', () => { if (show) engine._gf_web_viewer_key(kPause); });

// Back to the start screen, with Play again.
function end() {
  const worst = engine._gf_web_sync_worst_ms();
  const fired = engine._gf_web_syncs_fired();
  const late = engine._gf_web_syncs_later_than(kChunkFrames);
  const checkpoints = engine._gf_web_seek_table();
  const table = show.tableFilled === undefined ? 'not filled' : 'filled in ' + show.tableFilled.toFixed(1) + ' s';
  engine._gf_web_stop();
  clearInterval(show.timer);
  show.sound.close();
  show = null;
  if (document.fullscreenElement) document.exitFullscreen();
  $('stage').classList.remove('on', 'idle');
  clearTimeout(idleTimer);
  $('start').style.display = '';
  if (params.has('autoplay')) {
    $('results').textContent += 'worst sync ' + worst.toFixed(2) + ' ms after its note, by the audio clock; ' +
      late + ' of ' + fired + ' syncs later than one ' + kChunkFrames + '-frame chunk\n' +
      'seek table ahead of the viewer: ' + table + ' of playing, ' + checkpoints + ' checkpoints\n';
    document.title = 'show done';
    report();
  }
}

function toggleFullscreen() {
  if (document.fullscreenElement) {
    document.exitFullscreen();
  } else if ($('stage').requestFullscreen) {
    $('stage').requestFullscreen().catch(() => {});
  }
}

document.addEventListener('keydown', (event) => {
  if (!show) return;
  if (event.key === 'F11' || (event.key === 'Enter' && event.altKey)) {
    event.preventDefault();
    toggleFullscreen();
    return;
  }
  if (kQuietKeys.has(event.key)) return;
  event.preventDefault();
  wake();
  const role = kViewerKeys[event.key.length === 1 ? event.key.toLowerCase() : event.key];
  if (role === 'end') {
    engine._gf_web_key();
  } else if (role === 'full') {
    toggleFullscreen();
  } else if (role === 'mute') {
    toggleMute();
  } else if (role !== undefined) {
    engine._gf_web_viewer_key(role);
  }
});
$('stage').addEventListener('dblclick', toggleFullscreen);
$('fullscreen').addEventListener('click', (event) => { event.stopPropagation(); toggleFullscreen(); });
$('fullscreen').addEventListener('dblclick', (event) => event.stopPropagation());
$('play').addEventListener('click', play);
setUpGentleSwitch();

// ?frames=N,N,...&fps=F (F whole, or N/D)[&start=O:R]: the offline show's listed frames,
// counted from the first frame at or after O:R as the desktop's --start O:R --frames counts them. The rate
// follows the desktop's --frames --fps (each part a whole number from 1 to 1000000, from 1
// to 1000 frames a second), and a frame must lie within the 30 minutes a capture may last.
const kMaxRatePart = 1000000;
const kMaxFps = 1000;
const kMaxShowSeconds = 30 * 60;
async function runFrames() {
  const fpsText = params.get('fps') || '60';
  const fps = fpsText.split('/');
  const parts = fps.map((part) => (/^\d+$/.test(part) ? Number(part) : NaN));
  const num = parts[0];
  const den = parts.length > 1 ? parts[1] : 1;
  if (parts.length > 2 || !(num >= 1 && num <= kMaxRatePart && den >= 1 && den <= kMaxRatePart) ||
      num > kMaxFps * den || num < den) {
    throw new Error('fps: "' + fpsText + '" is not a rate like 60 or 60000/1001 (from 1 to ' + kMaxFps + ')');
  }
  const lastFrame = Math.floor((kMaxShowSeconds * num) / den);
  const frames = params.get('frames').split(',').map((text) => text.trim());
  for (const text of frames) {
    if (!/^\d+$/.test(text)) throw new Error('frames: "' + text + '" is not a frame number');
    if (Number(text) > lastFrame) {
      throw new Error('frames: ' + text + ' is past the 30 minutes a capture may last (frame ' + lastFrame +
        ' at ' + fpsText + ' fps)');
    }
  }
  const start = /^(\d{1,5})(?::(\d{1,5}))?$/.exec(params.get('start') || '0');
  if (!start) throw new Error('start: "' + params.get('start') + '" is not ORDER or ORDER:ROW');
  const hashes = new Map();
  engine.gfFrame = (index, pointer) => {
    const words = new Uint32Array(engine.HEAPU8.buffer, pointer, 64000).map((w) => w & 0xffffff);
    hashes.set(index, crypto.subtle.digest('SHA-256', words.buffer));
  };
  const list = engine._malloc(4 * frames.length);
  new Uint32Array(engine.HEAPU8.buffer, list, frames.length).set(frames.map(Number));
  let result;
  try {
    result = engine._gf_web_frames(list, frames.length, num, den, params.has('gentle') ? 1 : 0,
                                   Number(start[1]), Number(start[2] || 0));
  } finally {
    engine._free(list);
  }
  if (result !== 0) throw new Error(lastError || 'the show could not start');
  const lines = [];
  for (const text of frames) {
    const digest = hashes.get(Number(text));
    if (!digest) throw new Error('frame ' + text + ' is past the end of the show');
    const bytes = new Uint8Array(await digest);
    lines.push(text + ' ' + Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join(''));
  }
  $('frame-hashes').textContent = lines.join('\n') + '\n';
  document.title = 'frames done';
}

async function main() {
  try {
    engine = await loadEngine();
  } catch (e) {
    fail(errorText(e));
    return;
  }
  attachCanvas(engine);
  let checked;
  try {
    checked = engine._gf_web_check();
  } catch (e) {
    fail(errorText(e));
    return;
  }
  if (checked !== 0) {
    fail(lastError || 'The data set cannot be used.');
    return;
  }
  if (params.has('frames') || params.has('benchmark')) {
    $('start').style.display = 'none';
    try {
      if (params.has('frames')) {
        await runFrames();
      } else if (engine._gf_web_benchmark() !== 0) {
        throw new Error(lastError || 'the benchmark could not start');
      } else {
        document.title = 'benchmark done';
        report();
      }
    } catch (e) {
      fail(errorText(e));
    }
    return;
  }
  say('', false);
  $('play').disabled = false;
  if (params.has('autoplay')) play();
}

// Once visited, the page plays with no network and can be installed as an app
// (sw.js). A page opened from a file, or in a browser without service workers, plays as before.
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').catch((e) => console.warn('no offline copy: ' + e.message));
}

main();
