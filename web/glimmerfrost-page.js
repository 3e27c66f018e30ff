// The page around the engine: loads the WebAssembly and the data set, shows the
// start screen, runs the live show one pass per animation frame with the music
// through Web Audio, and the two offline modes:
//   ?frames=N,N,...&fps=F  the listed frames' SHA-256, one "N <hash>" line each, in #frame-hashes
//   ?benchmark             the cost of a frame per order, as the desktop's --benchmark prints it
// ?autoplay starts the live show without the click (headless measurements) and,
// once it is over, puts the latest sync seen into #results. With &report=PATH the
// page also POSTs what it put in #results to PATH once done (scripts/web-measure.py).
'use strict';

const kRate = 44100;
const kChunkFrames = 4096; // frames of music per AudioBuffer
const kDataFiles = ['xmas.it', 'kubus.3ds', 'glimzz.jpg', 'muur.jpg', 'credits.jpg', 'presents.jpg',
  'goodboy.jpg', 'finalgrtz.jpg', 'boem.jpg', 'kerst.jpg'];
// Keys that on their own do nothing, as on the desktop.
const kQuietKeys = new Set(['Shift', 'Control', 'Alt', 'AltGraph', 'Meta', 'OS', 'Super', 'Hyper', 'CapsLock',
  'NumLock', 'ScrollLock', 'Fn', 'FnLock', 'AudioVolumeUp', 'AudioVolumeDown', 'AudioVolumeMute',
  'MediaPlayPause', 'MediaTrackNext', 'MediaTrackPrevious', 'MediaStop', 'Unidentified']);

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
    source.connect(this.context.destination);
    source.start(this.start + this.queued / kRate);
  }
  close() {
    if (this.context) this.context.close();
  }
}

let show = null;

function report() {
  if (params.has('report')) fetch(params.get('report'), { method: 'POST', body: $('results').textContent });
}

function play() {
  if (show || !engine) return;
  if (engine._gf_web_start() !== 0) {
    fail(lastError || 'The show could not start.');
    return;
  }
  const sound = new Sound(engine);
  show = { sound, timer: setInterval(() => sound.pump(), 250) };
  say('', false);
  $('note').textContent = sound.context ? '' : 'No Web Audio in this browser: the show plays silently.';
  $('start').style.display = 'none';
  $('stage').classList.add('on');
  sound.pump();
  requestAnimationFrame(pass);
}

function pass() {
  if (!show) return;
  show.sound.pump();
  if (engine._gf_web_step(show.sound.frame()) === 0) {
    end();
    return;
  }
  requestAnimationFrame(pass);
}

// Back to the start screen, with Play again.
function end() {
  const worst = engine._gf_web_sync_worst_ms();
  const fired = engine._gf_web_syncs_fired();
  const late = engine._gf_web_syncs_later_than(kChunkFrames);
  engine._gf_web_stop();
  clearInterval(show.timer);
  show.sound.close();
  show = null;
  if (document.fullscreenElement) document.exitFullscreen();
  $('stage').classList.remove('on');
  $('start').style.display = '';
  if (params.has('autoplay')) {
    $('results').textContent += 'worst sync ' + worst.toFixed(2) + ' ms after its note, by the audio clock; ' +
      late + ' of ' + fired + ' syncs later than one ' + kChunkFrames + '-frame chunk\n';
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
  engine._gf_web_key();
});
$('stage').addEventListener('dblclick', toggleFullscreen);
$('fullscreen').addEventListener('click', (event) => { event.stopPropagation(); toggleFullscreen(); });
$('fullscreen').addEventListener('dblclick', (event) => event.stopPropagation());
$('play').addEventListener('click', play);

// ?frames=N,N,...&fps=F (F whole, or N/D): the offline show's listed frames. The rate
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
  const hashes = new Map();
  engine.gfFrame = (index, pointer) => {
    const words = new Uint32Array(engine.HEAPU8.buffer, pointer, 64000).map((w) => w & 0xffffff);
    hashes.set(index, crypto.subtle.digest('SHA-256', words.buffer));
  };
  const list = engine._malloc(4 * frames.length);
  new Uint32Array(engine.HEAPU8.buffer, list, frames.length).set(frames.map(Number));
  let result;
  try {
    result = engine._gf_web_frames(list, frames.length, num, den);
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

main();
