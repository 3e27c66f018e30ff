#!/usr/bin/env python3
"""Drives the live page in headless Chromium as a viewer would.

Checks the start screen's flashing warning and its gentle switch: off on a
first visit, on when the browser reports prefers-reduced-motion: reduce
(emulated), a click on it remembered across visits over the system's setting,
and the live show started with the flash limiter when it is on. Then clicks
Play, toggles full screen with F11 and with a double-click, ends the
show with a key and with Esc (each time back to the start screen, with Play
again), and minimizes the window for two seconds in the middle of the show,
which sends the page to the background: once it is back, the syncs must fire
within one audio chunk of their notes again. Input goes through
Chromium's DevTools protocol, so the page gets real clicks and key presses,
and with them the user activation that sound and full screen need.
"""
import argparse
import sys
import threading
import time

import web_page

PLAYING = "show !== null && document.getElementById('stage').classList.contains('on')"
AT_START = ("show === null && document.getElementById('start').style.display === ''"
            " && !document.getElementById('play').disabled")
FULL = "document.fullscreenElement !== null"
NOT_FULL = "document.fullscreenElement === null"


READY = "document.readyState === 'complete' && !document.getElementById('play').disabled"
GENTLE = "document.getElementById('gentle').checked"


def reload(page):
    # A plain reload: one that bypasses the cache also leaves the page outside its
    # service worker, which the offline check needs later.
    page.call("Page.reload")
    time.sleep(0.2)  # the old document may still answer at first
    page.wait(READY, "the start screen after a reload")


def check_gentle(page):
    page.wait(READY, "the start screen's Play button")
    warning = page.value("document.getElementById('warning').textContent")
    if "flashing" not in warning or not page.value("document.getElementById('warning').offsetHeight > 0"):
        raise AssertionError(f"the start screen's warning is missing (it says {warning!r})")
    if page.value(GENTLE):
        raise AssertionError("the gentle switch is on on a first visit without reduced motion")
    page.call("Emulation.setEmulatedMedia", features=[{"name": "prefers-reduced-motion", "value": "reduce"}])
    reload(page)
    if not page.value(GENTLE):
        raise AssertionError("the gentle switch is off although the browser asks for reduced motion")
    page.click("gentle")
    page.wait("!" + GENTLE, "the gentle switch off after a click")
    reload(page)
    if page.value(GENTLE):
        raise AssertionError("the gentle switch turned off was not remembered over reduced motion")
    page.call("Emulation.setEmulatedMedia", features=[{"name": "prefers-reduced-motion", "value": "no-preference"}])
    page.click("gentle")
    page.wait(GENTLE, "the gentle switch on after a click")
    reload(page)
    if not page.value(GENTLE):
        raise AssertionError("the gentle switch turned on was not remembered")
    page.click("play")
    page.wait(PLAYING, "the show after a click on Play")
    if page.value("engine._gf_web_gentle()") != 1:
        raise AssertionError("the switch is on but the show plays without the flash limiter")
    page.key("Escape", "Escape", 27)
    page.wait(AT_START, "the start screen after Esc")
    page.click("gentle")
    page.wait("!" + GENTLE, "the gentle switch off again")


POSITION = "engine._gf_web_position()"


def order_row(page):
    at = page.value(POSITION)
    return at & 0xFFFF, at >> 16


def check_player(page):
    """Space pauses (the address names the moment), Right goes to the next order, '.' and ','
    step a frame while paused, Home goes to the start, and a #t= link starts where it says;
    M mutes and unmutes, and the volume slider sets the level;
    after a seek, a pause and a resume the syncs fire within one audio chunk of their notes."""
    page.value("location.hash = '#t=9:0'")
    page.click("play")
    page.wait(PLAYING + f" && ({POSITION} & 0xffff) === 9", "the show at order 9 from a #t=9:0 link")
    page.wait("engine._gf_web_syncs_fired() > 0", "a first sync after the link", 60)
    page.key(" ", "Space", 32)
    page.wait("/^#t=\\d+:\\d+$/.test(location.hash) && location.hash !== '#t=9:0'", "the address naming the paused moment")
    paused_at = order_row(page)
    time.sleep(0.5)
    if order_row(page) != paused_at:
        raise AssertionError(f"the position moved while paused: {paused_at} then {order_row(page)}")
    page.key("ArrowRight", "ArrowRight", 39)
    page.wait(f"({POSITION} & 0xffff) === {paused_at[0] + 1}", f"order {paused_at[0] + 1} after Right")
    at_order = order_row(page)
    picture = "document.getElementById('screen').toDataURL()"
    time.sleep(0.3)
    page.value(f"window.gfShown = {picture}")
    page.key(".", "Period", 190)
    page.wait(f"{picture} !== window.gfShown", "the next frame after '.'")
    page.key(",", "Comma", 188)
    page.wait(f"{picture} === window.gfShown && {POSITION} === {at_order[0] | (at_order[1] << 16)}",
              "the same picture as before '.' after ','")
    page.key("Home", "Home", 36)
    page.wait(f"{POSITION} === 0", "the start after Home")
    # A click on the timeline just after order 12's mark goes there.
    x, y = page.value("(() => { const m = document.querySelectorAll('#timeline .mark')[12].getBoundingClientRect();"
                      " return [m.x + m.width + 3, m.y + m.height / 2]; })()")
    page.click_at(x, y)
    page.wait(f"({POSITION} & 0xffff) === 12", "order 12 after a click on the timeline")
    page.key("ArrowRight", "ArrowRight", 39)
    page.wait(f"({POSITION} & 0xffff) === 13", "order 13 after Right")
    late_before = page.value("engine._gf_web_syncs_later_than(kChunkFrames)")
    fired = page.value("engine._gf_web_syncs_fired()")
    page.key("k", "KeyK", 75)
    page.wait(f"engine._gf_web_syncs_fired() >= {fired + 4}", "four syncs after a seek and resuming", 60)
    late = page.value("engine._gf_web_syncs_later_than(kChunkFrames)") - late_before
    if late != 0:
        raise AssertionError(f"{late} of the syncs after a seek and a resume fired later than one audio chunk")
    page.value("history.replaceState(null, '', location.pathname)")
    page.call("Input.dispatchMouseEvent", type="mouseMoved", x=5, y=5)  # the pointer wakes the controls
    page.click("toggle")
    page.wait("/^#t=13:\\d+$/.test(location.hash) && document.getElementById('toggle').textContent === 'Play'",
              "paused by the Pause button, the address naming the moment")
    # M mutes and unmutes; a click on the volume slider sets the level heard when not muted.
    gain = "show.sound.gain.gain.value"
    level = "Number(document.getElementById('volume').value) / 100"
    mute_says = "document.getElementById('mute').textContent"
    page.key("m", "KeyM", 77)
    page.wait(f"{gain} === 0 && {mute_says} === 'Unmute'", "silence after M")
    page.key("m", "KeyM", 77)
    page.wait(f"Math.abs({gain} - {level}) < 1e-6 && {mute_says} === 'Mute'", "the sound back after M again")
    x, y = page.value("(() => { const r = document.getElementById('volume').getBoundingClientRect();"
                      " return [r.x + r.width / 4, r.y + r.height / 2]; })()")
    page.click_at(x, y)
    page.wait(f"{level} > 0.1 && {level} < 0.4 && Math.abs({gain} - {level}) < 1e-6",
              "the level a quarter along the volume slider after a click there")
    page.value("document.getElementById('volume').blur()")
    # The gentle switch in the controls turns the running show's limiter on and off.
    gentle_before = page.value("engine._gf_web_gentle()")
    page.click("gentle-now")
    page.wait(f"engine._gf_web_gentle() === {1 - gentle_before}", "the limiter switched by the controls' gentle switch")
    page.click("gentle-now")
    page.wait(f"engine._gf_web_gentle() === {gentle_before} && {GENTLE} === {'true' if gentle_before else 'false'}",
              "the limiter switched back, the start screen's switch following")
    page.key("Escape", "Escape", 27)
    page.wait(AT_START, "the start screen after Esc")
    page.value("history.replaceState(null, '', location.pathname)")


def check_page(page):
    page.wait("!document.getElementById('play').disabled", "the start screen's Play button")
    page.click("play")
    page.wait(PLAYING, "the show after a click on Play")
    page.key("F11", "F11", 122)
    page.wait(FULL, "full screen after F11")
    page.key("F11", "F11", 122)
    page.wait(NOT_FULL, "the window after F11 again")
    page.click("stage", count=2)
    page.wait(FULL, "full screen after a double-click")
    page.wait(PLAYING, "the show still running in full screen")
    page.key("x", "KeyX", 88)
    time.sleep(0.3)
    page.wait(PLAYING, "the show still running after a key the player does not use")
    page.key("Escape", "Escape", 27)
    page.wait(AT_START + " && " + NOT_FULL, "the start screen after Esc, out of full screen")

    check_player(page)

    page.click("play")
    page.wait(PLAYING, "the show after Play again")
    page.wait("engine._gf_web_syncs_fired() > 0", "a first sync", 60)
    window = page.call("Browser.getWindowForTarget")["windowId"]
    page.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "minimized"})
    page.wait("document.hidden", "the page hidden in a minimized window")
    time.sleep(2)
    page.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "normal"})
    page.wait("!document.hidden", "the page shown again")
    # In the background the page only runs on throttled timers, so the syncs
    # there fire late, unseen; once it is back each must be on time again.
    page.wait(PLAYING, "the show still running when the page is back")
    time.sleep(0.5)
    late_before = page.value("engine._gf_web_syncs_later_than(kChunkFrames)")
    fired = page.value("engine._gf_web_syncs_fired()")
    page.wait(f"engine._gf_web_syncs_fired() >= {fired + 4}", "four syncs after the page came back", 60)
    late = page.value("engine._gf_web_syncs_later_than(kChunkFrames)") - late_before
    if late != 0:
        raise AssertionError(f"{late} of the syncs after the page came back fired later than one audio chunk")
    page.key("Escape", "Escape", 27)
    page.wait(AT_START, "the start screen after Esc")


def check_offline(page, stop_server):
    """The page as an app: its favicon and manifest are served, its service worker takes
    it over, and once the server is gone a reload still plays the show from the cache."""
    page.value("fetch('favicon.ico').then(r => window.gfFavicon = r.status), 0")
    page.value("fetch(document.querySelector('link[rel=manifest]').href).then(r => r.json())"
               ".then(m => window.gfManifest = m.name + ' ' + m.icons.length, () => window.gfManifest = 'bad'), 0")
    page.wait("window.gfFavicon === 200", "favicon.ico served")
    page.wait("window.gfManifest === 'Glimmerfrost 2'", "the web app manifest with its two icons")
    page.wait("navigator.serviceWorker.controller !== null", "the service worker controlling the page", 60)
    stop_server()
    page.value("window.gfBeforeReload = true")
    page.call("Page.reload", ignoreCache=True)
    page.wait("!window.gfBeforeReload && document.readyState === 'complete' && "
              "!document.getElementById('play').disabled", "the start screen with the server gone", 60)
    page.click("play")
    page.wait(PLAYING, "the show playing with the server gone")
    page.key("Escape", "Escape", 27)
    page.wait(AT_START, "the start screen after Esc, offline")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--site", default="build-web/site", help="the web site folder")
    args = parser.parse_args()
    web_page.check_site("web-page-test", args.site)
    chromium = web_page.find_chromium("web-page-test")

    server = web_page.make_server(args.site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"{web_page.base_url(server)}index.html"
    with web_page.browser(chromium, url, devtools=True) as profile:
        try:
            page = web_page.devtools_page(profile, url)
            check_gentle(page)
            check_page(page)
            check_offline(page, lambda: (server.shutdown(), server.server_close()))
        except ConnectionError as failure:
            sys.exit(f"web-page-test: {failure}")
        except AssertionError as failure:
            sys.exit(f"web-page-test: {failure}")
    print("web-page-test: the warning and the gentle switch (reduced motion, remembered) work; Play, F11, a double-click, "
          "Esc, the player's keys (Space, Right, '.', ',', Home, K, M), a click on the timeline and on the volume slider, "
          "the Pause button and a #t= link work, other keys do nothing; after a seek and a resume, and after 2 s in the background, the syncs fire "
          "within one audio chunk; with the server gone the page plays from its offline copy")
    return 0


if __name__ == "__main__":
    sys.exit(main())
