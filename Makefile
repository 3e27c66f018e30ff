# Two entry points do all the set-up on a fresh Debian 12 machine:
#   make run   installs what is missing to build and play, builds, and plays the show
#              (options through ARGS: make run ARGS='--interactive --start 9')
#   make test  installs the test tools too, builds, and runs every test
#   make web   installs the browser build's tools too and builds the show for the browser
#              into build-web/site (make serve-web serves it on 127.0.0.1)
#   make deb   builds the Debian package build-deb/glimmerfrost_VERSION_ARCH.deb and checks
#              it with lintian (make test-deb installs it into a fresh Debian 12 root)
BUILD ?= build
JOBS ?= $(shell nproc)
ARGS ?=
SETUP_FLAGS ?=

# Passed down to setup through build and configure.
test bench: SETUP_FLAGS = --dev
web serve-web test-web: SETUP_FLAGS = --web
deb test-deb: SETUP_FLAGS = --deb
DEB_BUILD ?= build-deb
WEB_BUILD ?= build-web
WEB_PORT ?= 8000
# `make run` runs the program in this folder, so a capture made with no display lands here
# rather than in the source tree.
CAPTURES ?= $(HOME)/Videos/glimmerfrost

.PHONY: setup configure build run test bench clean web serve-web test-web deb test-deb

setup:
	@bash scripts/setup.sh $(SETUP_FLAGS)

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@mkdir -p "$(CAPTURES)" && cd "$(CAPTURES)" && "$(abspath $(BUILD))/src/glimmerfrost" $(ARGS)

# ctest lists skipped tests without their reasons; one line each follows.
test: build
	@status=0; ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) || status=$$?; \
	bash scripts/skip-reasons.sh $(BUILD)/Testing/Temporary/LastTest.log; exit $$status

bench: build
	@$(BUILD)/bench/gf_bench

web: build
	@JOBS=$(JOBS) bash scripts/web-build.sh $(BUILD) $(WEB_BUILD)

serve-web: web
	@python3 scripts/serve-web.py $(WEB_BUILD)/site $(WEB_PORT)

# The browser's frames against the desktop's, then the live page driven as a
# viewer would, both in headless Chromium.
test-web: web
	@python3 scripts/web-test.py --desktop $(BUILD) --site $(WEB_BUILD)/site
	@python3 scripts/web-page-test.py --site $(WEB_BUILD)/site

deb: setup
	@JOBS=$(JOBS) bash scripts/make-deb.sh $(DEB_BUILD)

# Needs root: debootstrap, chroot and mounts.
test-deb: deb
	@bash scripts/deb-test.sh "$$(ls -t $(DEB_BUILD)/glimmerfrost_*.deb | head -n 1)" $(DEB_BUILD)/deb-test

clean:
	@rm -rf $(BUILD) $(WEB_BUILD) $(DEB_BUILD)
