# Varnel: the two commands a new machine needs are `make run` and `make test`.
JOBS    ?= $(shell nproc)
CMAKE   ?= cmake
CTEST   ?= ctest

# A new build folder is made for Ninja when it is installed (install-deps
# installs it): with nothing to do it answers at once, where make's own
# generator walks every target. A folder made before keeps its generator.
GENERATOR = $(shell command -v ninja >/dev/null 2>&1 && echo -GNinja)
# The generator for a folder: none for one already configured.
generator_for = $$([ -f $(1)/CMakeCache.txt ] || echo "$(GENERATOR)")

.PHONY: all deps build run test test-release test-asan bench fuzz clean

all: build

deps:
	@sh scripts/install-deps

# Configured once, when the folder has no cache yet (its output goes to
# build/configure.log); after that the build itself re-runs CMake when a
# CMakeLists.txt changes, so a build with nothing to do takes no time.
build:
	@[ -f build/CMakeCache.txt ] || { mkdir -p build && \
	  $(CMAKE) -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=Release > build/configure.log 2>&1 || \
	  { cat build/configure.log; rm -f build/CMakeCache.txt; exit 1; }; }
	@$(CMAKE) --build build -j $(JOBS)

# The viewer with the example points and texture. Without a display it
# says so and how to go on.
run: deps build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display to show the viewer on; use 'xvfb-run make run', or 'build/bin/varnel-cli render' for a picture." >&2; \
	else exec build/bin/varnel examples/points.txt examples/texture.bmp; fi

test: deps
	$(MAKE) test-release
	$(MAKE) test-asan

test-release: build
	$(CTEST) --test-dir build --output-on-failure -j $(JOBS)

# Same tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
# benchmarks are left out of this build, they prove nothing here.
test-asan:
	$(CMAKE) -S . -B build-asan $(call generator_for,build-asan) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_SANITIZE=ON -DVARNEL_BENCH=OFF
	$(CMAKE) --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  $(CTEST) --test-dir build-asan --output-on-failure -j $(JOBS)

# Every benchmark, then the device's frame against Mesa's llvmpipe (the
# script installs OSMesa, which nothing else needs).
bench: deps build
	@for b in build/bin/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done
	@sh bench/device_vs_llvmpipe.sh

# libFuzzer targets, built with clang under ASan/UBSan; run them by hand, e.g.
#   build-fuzz/bin/fuzz_density_field -max_total_time=300 corpus/
#   build-fuzz/bin/fuzz_data_file -max_total_time=300 corpus/ tests/fuzz/data_file_seeds/
fuzz: deps
	$(CMAKE) -S . -B build-fuzz $(call generator_for,build-fuzz) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARNEL_FUZZ=ON -DVARNEL_BENCH=OFF
	$(CMAKE) --build build-fuzz -j $(JOBS)

clean:
	rm -rf build build-asan build-fuzz
