# SPDX-License-Identifier: GPL-3.0-or-later
# The two everyday commands: `make run` and `make test`.
BUILD ?= build

.PHONY: deps configure build run test test-sanitize bench package clean format

deps:
	@scripts/install-deps

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake --preset default

build: configure
	cmake --build $(BUILD)

run: build
	$(BUILD)/tonvik $(ARGS)

# The benchmarks are built too (not run), so that a change cannot leave them behind.
test: build
	cmake --build $(BUILD) --target benchmarks
	scripts/run-tests $(BUILD)

# The whole suite again, built with AddressSanitizer, LeakSanitizer and UBSan.
test-sanitize: deps
	@[ -f build-sanitize/build.ninja ] || cmake --preset sanitize
	cmake --build build-sanitize
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		scripts/run-tests build-sanitize

# tonvik_<version>_<arch>.deb here, from a build for /usr with Debian's hardening flags.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+bindnow
package: deps
	@[ -f build-package/build.ninja ] || \
		CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" cmake --preset package
	cmake --build build-package
	cd build-package && cpack

bench: build
	cmake --build $(BUILD) --target benchmarks
	scripts/with-test-env $(BUILD)/bench/tonvik_bench

clean:
	rm -rf $(BUILD) build-sanitize build-package tonvik_*.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
