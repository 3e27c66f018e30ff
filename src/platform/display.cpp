// The window over SDL2. The program draws into a plain 64-byte aligned frame
// surface (1280-byte rows); present_frame uploads it to a streaming ARGB8888
// texture (the same bytes as 0x00RRGGBB on a little-endian machine) and draws
// it scaled up: nearest-neighbour when the scale is whole in both directions,
// otherwise sharp-bilinear (nearest to the next whole multiple, then a smooth
// step down), so that 4:3 correction and odd window sizes stay crisp.
#include "platform/display.h"

#include <SDL.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <thread>

#include "platform/quiet_stderr.h"
#include "platform/window_icon.h"

namespace gf {

struct Display {
    DisplayOptions options;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* frame_texture = nullptr;
    SDL_Texture* scaled_texture = nullptr;  // sharp-bilinear stage; null until needed
    int scaled_factor = 0;
    bool video_started = false;
    bool fullscreen = false;
    bool target_textures = false;

    // The frame surface.
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    // Input.
    bool key_waiting = false;
    bool close_requested = false;
    std::deque<KeyRole> viewer_keys;

    // Pacing: on when vsync is not in effect, or when a rate is forced.
    bool pacing = false;
    bool vsync = false;
    std::chrono::steady_clock::duration period{};
    std::chrono::steady_clock::time_point next_present{};
    std::chrono::steady_clock::time_point last_present{};
    int measured_presents = 0;
    std::chrono::steady_clock::duration measured_total{};
};

namespace {

constexpr std::align_val_t kSurfaceAlign{64};
constexpr int kMaxFrameSide = 8192;

std::atomic<int> s_quit_signals{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal flag must be usable from a handler");

extern "C" void on_quit_signal(int sig) {
    if (s_quit_signals.fetch_add(1) > 0) {
        // Asked twice: the normal shutdown is not happening, so end now.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
}

void release_surface(Display* d) {
    if (d->pixels != nullptr) {
        ::operator delete[](d->pixels, kSurfaceAlign);
        d->pixels = nullptr;
    }
}

// Destroys an SDL object with its own destroy function, if there is one, and forgets it.
template <typename T>
void destroy(T*& object, void (*destroy_fn)(T*)) {
    if (object != nullptr) {
        destroy_fn(object);
        object = nullptr;
    }
}

void close_window(Display* d) {
    destroy(d->scaled_texture, SDL_DestroyTexture);
    destroy(d->frame_texture, SDL_DestroyTexture);
    destroy(d->renderer, SDL_DestroyRenderer);
    destroy(d->window, SDL_DestroyWindow);
    if (d->video_started) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        d->video_started = false;
    }
}

Status failure(Display* d, const std::string& what) {
    Status status;
    status.ok = false;
    status.message = what + " (" + SDL_GetError() + ")";
    close_window(d);
    release_surface(d);
    return status;
}

void toggle_fullscreen(Display* d) {
    if (d->window == nullptr) {
        return;
    }
    const bool want = !d->fullscreen;
    if (SDL_SetWindowFullscreen(d->window, want ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) {
        d->fullscreen = want;
    }
}

void pump_events(Display* d) {
    if (!d->video_started) {
        return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == SDL_QUIT) {
            d->close_requested = true;
        } else if (event.type == SDL_KEYDOWN) {
            const SDL_Keysym& key = event.key.keysym;
            const bool repeat = event.key.repeat != 0;
            const KeyRole role = key_role(key.scancode, key.sym, key.mod, d->options.interactive);
            // A held key repeats; Left and Right then step on, the toggles would flip back and forth.
            if (role == KeyRole::EndShow) {
                d->key_waiting = true;
            } else if (role == KeyRole::ToggleFullscreen) {
                if (!repeat) toggle_fullscreen(d);
            } else if (role != KeyRole::Ignore && !(repeat && role == KeyRole::Pause)) {
                d->viewer_keys.push_back(role);
            }
        }
    }
}

// The stage for sharp-bilinear: the frame enlarged `factor` times with nearest
// sampling, later drawn to the window with linear filtering.
SDL_Texture* scaled_stage(Display* d, int factor) {
    if (d->scaled_texture != nullptr && d->scaled_factor == factor) {
        return d->scaled_texture;
    }
    if (d->scaled_texture != nullptr) {
        SDL_DestroyTexture(d->scaled_texture);
    }
    d->scaled_texture = SDL_CreateTexture(d->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                          d->width * factor, d->height * factor);
    d->scaled_factor = factor;
    if (d->scaled_texture != nullptr) {
        SDL_SetTextureScaleMode(d->scaled_texture, SDL_ScaleModeLinear);
    }
    return d->scaled_texture;
}

constexpr int kVsyncCheckPresents = 60;
constexpr double kVsyncTolerance = 0.02;  // real vsync keeps the average within 2% of the refresh period

// The refresh rate of the window's screen in Hz (60 when the screen does not say).
double refresh_rate(Display* d) {
    SDL_DisplayMode mode{};
    if (SDL_GetWindowDisplayMode(d->window, &mode) == 0 && mode.refresh_rate > 0) {
        return mode.refresh_rate;
    }
    return 60.0;
}

constexpr std::chrono::milliseconds kLongestWait{100};

void pace(Display* d) {
    using clock = std::chrono::steady_clock;
    const auto now = clock::now();
    if (!d->pacing && d->vsync && d->last_present.time_since_epoch().count() != 0 && d->measured_presents < 60) {
        // The renderer claims vsync; check that presents really wait for the screen at its
        // refresh rate. SDL emulates vsync where the backend has none, with a whole-millisecond
        // delay (16 ms: 62.5 Hz instead of 60), and some drivers do not wait at all. Either way
        // the per-frame effects would run at the wrong speed, so pace the presents ourselves.
        d->measured_total += now - d->last_present;
        if (++d->measured_presents == kVsyncCheckPresents) {
            const double average = std::chrono::duration<double>(d->measured_total).count() / kVsyncCheckPresents;
            const double expected = 1.0 / refresh_rate(d);
            if (std::abs(average - expected) > kVsyncTolerance * expected) {
                SDL_RenderSetVSync(d->renderer, 0);
                d->pacing = true;
                d->next_present = now;
            }
        }
    }
    d->last_present = now;
    if (!d->pacing) {
        return;
    }
    d->next_present += d->period;
    if (now > d->next_present + d->period) {
        d->next_present = now;  // far behind (a slow frame or a stall): do not rush to catch up
        return;
    }
    // At a very slow rate the wait is long: keys, the window's close and signals (which SDL
    // turns into a quit event) are looked at every 100 ms, and any of them ends the wait, so
    // the frame loop sees it at once.
    while (clock::now() < d->next_present) {
        std::this_thread::sleep_until(std::min(d->next_present, clock::now() + kLongestWait));
        SDL_PumpEvents();
        if (SDL_HasEvent(SDL_QUIT) || SDL_HasEvents(SDL_KEYDOWN, SDL_KEYUP) || SDL_HasEvent(SDL_WINDOWEVENT)) {
            break;
        }
    }
    d->last_present = clock::now();
}

}  // namespace

double display_frame_rate(Display* d) {
    if (d == nullptr || d->pacing || !d->vsync) {
        return d != nullptr && d->options.fps > 0.0 ? d->options.fps : 60.0;
    }
    return refresh_rate(d);
}

namespace {

// When the X server goes away, Xlib calls its I/O error handler and then exit(). By
// default that prints Xlib's own lines, and exit() runs the static destructors while
// the music's threads still run: a silent show ended in std::terminate. This handler
// says it in one line and ends the process at once: a window run has nothing on disk
// to finish, and the sound device closes with the process.
extern "C" int on_display_lost(void*) {
    static constexpr char kMessage[] = "glimmerfrost: the connection to the display was lost\n";
    const ssize_t written = write(STDERR_FILENO, kMessage, sizeof(kMessage) - 1);
    static_cast<void>(written);
    _exit(1);
}

// Installs it in the Xlib that SDL's X11 driver has loaded (looked up, so that the
// program needs no Xlib of its own); nothing to do under another driver.
void catch_display_loss() {
    void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (xlib == nullptr) {
        return;
    }
    using Handler = int (*)(void*);
    using SetHandler = Handler (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(xlib, "XSetIOErrorHandler")); set != nullptr) {
        set(on_display_lost);
    }
    dlclose(xlib);  // only drops this reference: SDL keeps the library loaded
}

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// What happens when connecting to the local X11 display `name` (":0", ":1.0",
// "unix:0") by its socket: the system's reason when it fails.
std::string x11_connection_problem(const std::string& name) {
    std::string number = name.rfind("unix:", 0) == 0 ? name.substr(5) : name.rfind(':', 0) == 0 ? name.substr(1) : "";
    if (const std::size_t screen_part = number.find('.'); screen_part != std::string::npos) {
        number.resize(screen_part);  // ":0.1" is display 0, screen 1
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return "could not be opened";
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = "/tmp/.X11-unix/X" + number;
    if (path.size() >= sizeof address.sun_path) {
        return "could not be opened";
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return "could not be opened";
    }
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    close(fd);
    if (connected) {
        return "took a connection but did not let SDL open a window (it answers now: try again)";
    }
    return "could not be reached at " + path + ": " + std::strerror(error);
}

// Why no display could be used, naming the ones the environment gives.
std::string no_display_reason() {
    const char* x11 = environment("DISPLAY");
    const char* wayland = environment("WAYLAND_DISPLAY");
    std::string reason;
    if (wayland != nullptr) {
        reason = std::string("the Wayland display '") + wayland + "' (WAYLAND_DISPLAY) could not be opened";
    }
    if (x11 != nullptr) {
        reason += (reason.empty() ? "" : "; ") + std::string("the X11 display '") + x11 + "' (DISPLAY) " +
                  x11_connection_problem(x11);
    }
    return reason.empty() ? "neither DISPLAY nor WAYLAND_DISPLAY is set" : reason;
}

// Starts SDL's video. The Wayland client library prints its own complaints on
// stderr when no compositor is there, so stderr is closed meanwhile. With no
// display server SDL falls back to its invisible "offscreen" or "dummy" output;
// that counts as no display unless SDL_VIDEODRIVER asked for it by name. A display
// the environment names gets a second try: a busy server can refuse a connection
// for a moment (its queue of waiting clients full).
bool start_video(std::string& reason) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    const char* requested = std::getenv("SDL_VIDEODRIVER");
    const bool display_named = environment("DISPLAY") != nullptr || environment("WAYLAND_DISPLAY") != nullptr;
    constexpr int kTries = 2;
    constexpr auto kRetryWait = std::chrono::milliseconds(300);
    for (int attempt = 1;; ++attempt) {
        bool started = false;
        {
            const QuietStderr quiet;
            started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        }
        if (!started) {
            reason = SDL_GetError();
            return false;
        }
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool invisible =
            driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        if (!invisible || (requested != nullptr && requested[0] != '\0')) {
            break;
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (!display_named || attempt == kTries) {
            reason = no_display_reason();
            return false;
        }
        std::this_thread::sleep_for(kRetryWait);
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
        catch_display_loss();
    }
    return true;
}

}  // namespace

void install_quit_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // the terminal closed: end as a key would
}

bool quit_signal_received() { return s_quit_signals.load() > 0; }

Display* create_display(const DisplayOptions& options) {
    install_quit_signal_handlers();
    auto* display = new Display;
    display->options = options;
    return display;
}

Status open_display(Display* d, const char* title, int width, int height, int /*use_options*/) {
    if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) {
        return {false, "cannot open a " + std::to_string(width) + " x " + std::to_string(height) +
                           " display: sizes must be 1 to " + std::to_string(kMaxFrameSide)};
    }
    close_window(d);
    release_surface(d);
    // Our own SIGINT/SIGTERM/SIGHUP handlers end the run; SDL must not replace them.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    std::string reason;
    if (!start_video(reason)) {
        return {false, "no display available (" + reason + ")"};
    }
    d->video_started = true;

    SDL_Rect desktop{0, 0, 1024, 768};
    if (SDL_GetDisplayUsableBounds(0, &desktop) != 0) {
        SDL_GetDisplayBounds(0, &desktop);
    }
    const WindowSize size = initial_window_size(width, height, desktop.w, desktop.h, d->options);
    if (size.reduced) {
        std::fprintf(stderr, "glimmerfrost: --scale %d does not fit the %d x %d desktop; using %d\n", d->options.scale,
                     desktop.w, desktop.h, size.scale);
    }
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (d->options.fullscreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    d->window = SDL_CreateWindow(title != nullptr ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                 size.width, size.height, flags);
    if (d->window == nullptr) {
        return failure(d, "cannot open a window");
    }
    d->fullscreen = d->options.fullscreen;
    SDL_SetWindowMinimumSize(d->window, width, height);
    set_window_icon(d->window);

    d->renderer = SDL_CreateRenderer(d->window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (d->renderer == nullptr) {
        d->renderer = SDL_CreateRenderer(d->window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (d->renderer == nullptr) {
        return failure(d, "cannot draw into the window");
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(d->renderer, &info);
    d->vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    d->target_textures = (info.flags & SDL_RENDERER_TARGETTEXTURE) != 0;

    d->frame_texture =
        SDL_CreateTexture(d->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (d->frame_texture == nullptr) {
        return failure(d, "cannot make the frame texture");
    }
    SDL_SetTextureScaleMode(d->frame_texture, SDL_ScaleModeNearest);

    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    d->pixels = static_cast<uint32_t*>(::operator new[](count * sizeof(uint32_t), kSurfaceAlign));
    std::memset(d->pixels, 0, count * sizeof(uint32_t));
    d->width = width;
    d->height = height;

    const double fps = d->options.fps > 0.0 ? d->options.fps : 60.0;
    d->period =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / fps));
    d->pacing = d->options.fps > 0.0 || !d->vsync;
    d->next_present = std::chrono::steady_clock::now();
    d->last_present = {};
    d->measured_presents = 0;
    d->measured_total = {};
    return {};
}

uint32_t* lock_frame(Display* d) { return d->pixels; }

void unlock_frame(Display*) {}

void present_frame(Display* d) {
    if (d->renderer == nullptr || d->pixels == nullptr) {
        return;
    }
    SDL_UpdateTexture(d->frame_texture, nullptr, d->pixels, d->width * 4);
    SDL_SetRenderDrawColor(d->renderer, 0, 0, 0, 255);
    SDL_RenderClear(d->renderer);
    int out_w = 0;
    int out_h = 0;
    SDL_GetRendererOutputSize(d->renderer, &out_w, &out_h);
    const FrameRect r = frame_rect(d->width, d->height, out_w, out_h, d->options.aspect);
    const SDL_Rect dest{r.x, r.y, r.width, r.height};
    const bool whole = r.width % d->width == 0 && r.height % d->height == 0;
    if (!whole && d->target_textures) {
        const int factor = std::max({1, (r.width + d->width - 1) / d->width, (r.height + d->height - 1) / d->height});
        SDL_Texture* stage = scaled_stage(d, factor);
        if (stage != nullptr && SDL_SetRenderTarget(d->renderer, stage) == 0) {
            SDL_RenderCopy(d->renderer, d->frame_texture, nullptr, nullptr);
            SDL_SetRenderTarget(d->renderer, nullptr);
            SDL_RenderCopy(d->renderer, stage, nullptr, &dest);
            return;
        }
    }
    SDL_RenderCopy(d->renderer, d->frame_texture, nullptr, &dest);
}

void update_display(Display* d) {
    if (d->renderer != nullptr) {
        SDL_RenderPresent(d->renderer);
        pace(d);
    }
    pump_events(d);
}

bool key_pressed(Display* d) {
    pump_events(d);
    return d->key_waiting || d->close_requested || quit_signal_received();
}

KeyRole take_viewer_key(Display* d) {
    pump_events(d);
    if (d->viewer_keys.empty()) {
        return KeyRole::Ignore;
    }
    const KeyRole key = d->viewer_keys.front();
    d->viewer_keys.pop_front();
    return key;
}

void destroy_display(Display* d) {
    if (d == nullptr) {
        return;
    }
    close_window(d);
    release_surface(d);
    delete d;
}

bool display_available(std::string* reason) {
    std::string why;
    if (!start_video(why)) {
        if (reason != nullptr) {
            *reason = why;
        }
        return false;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

bool read_window_pixels(Display* d, std::vector<uint32_t>& pixels, int& width, int& height) {
    if (d->renderer == nullptr) {
        return false;
    }
    if (SDL_GetRendererOutputSize(d->renderer, &width, &height) != 0 || width <= 0 || height <= 0) {
        return false;
    }
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    if (SDL_RenderReadPixels(d->renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), width * 4) != 0) {
        return false;
    }
    for (uint32_t& p : pixels) {
        p &= 0x00FFFFFFu;
    }
    return true;
}

bool display_fullscreen(const Display* d) { return d->fullscreen; }

std::string display_title(const Display* d) { return d->window != nullptr ? SDL_GetWindowTitle(d->window) : ""; }

bool display_resizable(const Display* d) {
    return d->window != nullptr && (SDL_GetWindowFlags(d->window) & SDL_WINDOW_RESIZABLE) != 0;
}

void post_input_event(Display* d, InputEvent input) {
    if (input == InputEvent::CloseWindow) {
        SDL_Event event{};
        event.type = SDL_QUIT;
        if (d->video_started) SDL_PushEvent(&event);
        return;
    }
    const bool alt = input == InputEvent::AltKey || input == InputEvent::AltEnter;
    const SDL_Keycode key = input == InputEvent::F11        ? SDLK_F11
                            : input == InputEvent::AltKey   ? SDLK_LALT
                            : input == InputEvent::KeyPress ? SDLK_a
                                                            : SDLK_RETURN;
    post_key_event(d, SDL_GetScancodeFromKey(key), key, alt ? KMOD_LALT : KMOD_NONE);
}

void post_key_event(Display* d, int scancode, int keycode, unsigned modifiers) {
    if (!d->video_started) {
        return;
    }
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.windowID = d->window != nullptr ? SDL_GetWindowID(d->window) : 0;
    event.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    event.key.keysym.sym = keycode;
    event.key.keysym.mod = static_cast<Uint16>(modifiers);
    SDL_PushEvent(&event);
}

}  // namespace gf
