# The two commands a newcomer needs: `make run` and `make test`. Both install what is missing
# from Debian's packages, configure and build into build/.
BUILD ?= build
# The configure preset of a new build folder; CI uses "ci" (strict warnings as errors).
PRESET ?= dev
JOBS ?= $(shell nproc)

DEBIAN_PACKAGES := cmake ninja-build g++ pkg-config python3 openssl \
	qt6-base-dev qt6-base-dev-tools libgl-dev \
	libcurl4-openssl-dev libpsl-dev zlib1g-dev libjpeg62-turbo-dev \
	libgtest-dev libgmock-dev libbenchmark-dev apache2-doc docutils-doc python-requests-doc
# Qt's German texts; the window test under a real X server (Xvfb, xdotool, the accessibility bus).
DEBIAN_PACKAGES += qt6-translations-l10n xvfb xdotool dbus-daemon dbus-bin at-spi2-core \
	gir1.2-atspi-2.0 python3-gi
# The recipes for many machines: GNU parallel runs the shards in a test; yamllint checks the
# Kubernetes manifests.
DEBIAN_PACKAGES += parallel yamllint

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps configure build run test demo screenshots tsan asan asan-engine fuzz clean
.PHONY: package package-check format-check cluster-check

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
	@[ -f $(BUILD)/build.ninja ] || cmake --preset $(PRESET) -B $(BUILD) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tarnwick

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# Renders the windows to PNG files under build/screenshots, for review without a display.
screenshots: build
	$(BUILD)/app/tarnwick-screenshots $(BUILD)/screenshots $(BUILD) tests/server/testserver.py data/demo

# Crawls the sample site in data/demo/ on a local server; needs no internet.
demo: build
	cli/demo.sh $(BUILD)/cli/tarnwick-crawl

# Whole crawls against wget2, wget and HTTrack on local servers, and the micro benchmarks; the
# table is printed and written to bench/RESULTS.md. Takes about 17 minutes on 2 CPUs.
.PHONY: bench
bench: build
	bench/run_bench.sh $(BUILD)

asan: deps
	cmake --preset asan >/dev/null && cmake --build build-asan -j $(JOBS) && \
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 600

# The engine's tests alone under AddressSanitizer and UndefinedBehaviorSanitizer (run by CI).
asan-engine: deps
	cmake --preset asan >/dev/null && cmake --build build-asan -j $(JOBS) --target engine_tests && \
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 600 -R '^engine\.'

# The engine's tests alone under ThreadSanitizer (run by CI); a report fails the test.
tsan: deps
	cmake --preset tsan >/dev/null && cmake --build build-tsan -j $(JOBS) --target engine_tests && \
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1" \
	ctest --output-on-failure -j $(JOBS) --timeout 600 -R '^engine\.'

# libFuzzer targets (clang, ASan, UBSan) in build-fuzz; each runs FUZZ_TIME seconds on a copy
# of its seed corpus, so new inputs do not pile up in the repository. A finding stops the run
# and leaves its crash file in build-fuzz/findings/.
FUZZ_TIME ?= 120
# One target per corpus folder, as tests/fuzz/CMakeLists.txt builds them.
FUZZ_TARGETS := $(sort $(notdir $(wildcard tests/fuzz/corpus/*)))
fuzz: deps
	@command -v clang++ >/dev/null && [ -n "$$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ] || \
	  ( $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev )
	CC=clang CXX=clang++ cmake --preset dev -B build-fuzz -DTARNWICK_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@mkdir -p build-fuzz/findings; set -e; for t in $(FUZZ_TARGETS); do \
	  rm -rf build-fuzz/corpus-$$t; cp -r tests/fuzz/corpus/$$t build-fuzz/corpus-$$t; \
	  echo "== $$t"; \
	  build-fuzz/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_TIME) -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/findings/$$t- build-fuzz/corpus-$$t 2>build-fuzz/fuzz-$$t.log || \
	    { tail -40 build-fuzz/fuzz-$$t.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' build-fuzz/fuzz-$$t.log; \
	done

# The Slurm recipe of dist/examples run for real: a one-node Slurm and munged of its own on this
# machine run the job array of 8 shards and the merge, compared with one process's harvest.
# Needs root; not run by CI (see tests/dist/cluster_check.sh).
cluster-check: build
	@$(call apt_missing,slurm-wlm munge)
	tests/dist/cluster_check.sh $(BUILD)

# Every C++ file of the repository laid out as .clang-format asks (run by CI).
format-check:
	@$(call apt_missing,clang-format)
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# Installs the Debian packages named in $(1) that are missing.
apt_missing = missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	[ -z "$$missing" ] || { echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; }

# The Debian package (CPack, from the install rules and the build in build/); install it with
# `apt install ./build/tarnwick_VERSION_amd64.deb`.
package: build
	@$(call apt_missing,dpkg-dev file)
	rm -f $(BUILD)/tarnwick_*.deb
	cd $(BUILD) && cpack -G DEB

# What CI checks of the package: lintian, desktop entry, AppStream data, manual pages, completion,
# and both programs run from an unpacked copy.
package-check: package
	@$(call apt_missing,lintian desktop-file-utils appstream man-db groff-base bash-completion)
	dist/check-package.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan
