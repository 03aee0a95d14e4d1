# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing
# from Debian's packages, configure and build into build/.
BUILD ?= build
JOBS ?= $(shell nproc)

DEBIAN_PACKAGES := cmake ninja-build g++ pkg-config python3 openssl \
	qt6-base-dev qt6-base-dev-tools libgl-dev \
	libcurl4-openssl-dev libpsl-dev libjpeg62-turbo-dev \
	libgtest-dev libgmock-dev libbenchmark-dev

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps configure build run test demo tsan asan clean

deps:
	@missing=""; for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake --preset dev -B $(BUILD) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/tarnwick ]; then exec $(BUILD)/tarnwick; \
	else echo "The window is not built yet; the engine library and its tests are in $(BUILD)/."; fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# Crawls the sample site in data/demo/ on a local server; needs no internet.
demo: build
	cli/demo.sh $(BUILD)/cli/tarnwick-crawl

asan: deps
	cmake --preset asan >/dev/null && cmake --build build-asan -j $(JOBS) && \
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 600

tsan: deps
	cmake --preset tsan >/dev/null && cmake --build build-tsan -j $(JOBS) && \
	cd build-tsan && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1" \
	ctest --output-on-failure -j $(JOBS) --timeout 600 -R '^engine'

clean:
	rm -rf $(BUILD) build-asan build-tsan
