# Two entry points do all the set-up on a fresh Debian 12 machine:
#   make run   installs what is missing to build and play, builds, and plays the show
#              (options through ARGS: make run ARGS='--interactive --start 9')
#   make test  installs the test tools too, builds, and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
ARGS ?=
SETUP_FLAGS ?=

# Passed down to setup through build and configure.
test bench: SETUP_FLAGS = --dev
# `make run` runs the program in this folder, so a capture made with no display lands here
# rather than in the source tree.
CAPTURES ?= $(HOME)/Videos/glimmerfrost

.PHONY: setup configure build run test bench clean

setup:
	@bash scripts/setup.sh $(SETUP_FLAGS)

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@mkdir -p "$(CAPTURES)" && cd "$(CAPTURES)" && "$(abspath $(BUILD))/src/glimmerfrost" $(ARGS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@$(BUILD)/bench/gf_bench

clean:
	@rm -rf $(BUILD)
