# Corvane KTA-310 Probe: the commands of the README.
#   make demo      build, then find a dozen simulated devices in the lab namespace, with
#                  kta-scan and with the window tool (on your display, or under Xvfb: demo.png)
#   make run       the window tool on the real network (for users; never in tests)
#   make stress    the long stress runs in the lab: 500 closes under a reply flood, 30 s of
#                  100,000 malformed replies a second, kta-scan over 1,000 devices for 100 rounds
#   make bench     micro and process-level benchmarks (Release, build-bench/) into BENCHMARKS.md
#   make dist      the release: Linux and Windows programs, README, licence (tar.gz and zip), the MSI
#   make deb       the Debian packages kta310 and kta310-devsim in dist/, checked (lintian and more)
#   make msi       the Windows Installer package in dist/, built with wixl
#   make test      install what is missing, build, run every test in the lab namespace
#   make windows   cross-build for Windows x86-64 with MinGW-w64
#   make test-windows  run the Windows test programs under Wine, in the lab
#   make format    clang-format every source;  make lint: clang-tidy and cppcheck
#   make test-asan, make test-tsan   the suite built with ASan+UBSan, or TSan
#   make fuzz      each libFuzzer target for FUZZ_SECONDS (make test: FUZZ_SMOKE_SECONDS)

BUILD      ?= build
WINBUILD   ?= build-windows
JOBS       ?= 2
LAB        := tests/lab/lab.sh
CMAKE_GEN  := -G Ninja
CTEST_ARGS ?=
ASANBUILD  ?= build-asan
TSANBUILD  ?= build-tsan
FUZZBUILD  ?= build-fuzz
BENCHBUILD ?= build-bench
FUZZ_SECONDS       ?= 60
FUZZ_SMOKE_SECONDS ?= 5
# Sanitizer builds skip the tests labelled "timing": measurements, not checks.
SAN_CTEST_ARGS     ?= -LE timing
SAN_FLAGS  := -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DKTA_WERROR=ON

# Debian packages the build and the tests need; make test installs the missing ones.
# wine, wine64 and fonts-wine (its own fonts, Marlett among them) run the Windows tests under Xvfb.
DEB_PACKAGES := cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev googletest \
                iproute2 util-linux mount g++-mingw-w64-x86-64 libx11-dev libxft-dev xvfb xdotool x11-utils imagemagick \
                wine wine64 fonts-wine
# openbox: the window tests that need a window manager's view (hints, moves, modal boxes).
DEB_PACKAGES += openbox
DEB_PACKAGES += clang libclang-rt-14-dev
# make test checks the layout of every source with Debian's clang-format (14).
DEB_PACKAGES += clang-format
DEB_PACKAGES += zip
DEB_PACKAGES += libbenchmark-dev
# The page and watch tests read JSON with python3; make deb and the manual-page test need the rest.
DEB_PACKAGES += python3 groff-base man-db dpkg-dev lintian desktop-file-utils
# The AppStream metadata's check, the completion's test (bash-completion's helpers), make msi
# (wixl; msiinfo for its test) and the registry files that the Windows programs carry.
DEB_PACKAGES += appstream bash-completion wixl msitools ieee-data

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps configure build demo run stress dist deb msi test test-native test-windows windows format lint clean
.PHONY: test-asan test-tsan fuzz fuzz-smoke fuzz-build bench format-check

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" != 0 ]; then \
	    echo "make: these Debian packages are missing:$$missing"; \
	    echo "make: run as root, or install them first: sudo apt-get install$$missing"; exit 1; \
	  fi; \
	  echo "make: installing$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing >/dev/null || \
	    { echo "make: apt-get could not install:$$missing"; exit 1; }; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKTA_WERROR=ON

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: deps build
	$(LAB) --devices 12 -- tools/demo.sh $(BUILD)

run: build
	$(BUILD)/app/kta-probe

STRESS_ENV = KTA_PROBE=$(abspath $(BUILD))/app/kta-probe KTA_X_CLOSE=$(abspath $(BUILD))/tests/e2e/x_close_request \
  KTA_UDP_TAP=$(abspath $(BUILD))/tests/e2e/udp_tap
STRESS_TOOLS = $(abspath $(BUILD))/tools/kta-scan $(abspath $(BUILD))/tools/kta-devsim
stress: deps build
	$(LAB) --devices 30 -- env KTA_STRESS_RUNS=500 $(STRESS_ENV) bash tests/e2e/probe_close_stress_lab_test.sh $(STRESS_TOOLS)
	$(LAB) --devices 30 -- env KTA_FLOOD_SECONDS=30 $(STRESS_ENV) bash tests/e2e/probe_flood_timing_lab_test.sh $(STRESS_TOOLS)
	$(LAB) --devices 1000 -- env KTA_SCAN_ROUNDS=100 KTA_SCAN_STEP=10 bash tests/e2e/scan_rounds_lab_test.sh $(STRESS_TOOLS)

test-native: deps build
	$(LAB) --devices 300 -- ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The layout check comes first: it takes seconds and needs no build.
# The Windows tests run after the others, never beside them.
test: format-check test-native test-asan test-tsan fuzz-smoke
	@$(MAKE) --no-print-directory test-windows

$(WINBUILD)/build.ninja:
	cmake -S . -B $(WINBUILD) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DKTA_WERROR=ON

# A build folder configured before Wine or wixl was installed learns of them here.
windows: deps $(WINBUILD)/build.ninja
	@grep -q '^KTA_WINE:FILEPATH=/' $(WINBUILD)/CMakeCache.txt && grep -q '^KTA_WIXL:FILEPATH=/' \
	  $(WINBUILD)/CMakeCache.txt || cmake $(WINBUILD) >/dev/null
	cmake --build $(WINBUILD) -j $(JOBS)

# The Windows test programs under Wine, in the lab (tests/lab/wine.sh), one at
# a time: two Wine programs that start and end side by side now and then wait
# on each other until one is killed at its time limit. The installer's test
# starts from a new prefix of its own, as a machine that never had the tool.
test-windows: build windows
	$(LAB) --devices 300 -- tests/lab/wine.sh --prefix $(WINBUILD)/wineprefix -- bash -c \
	  'ctest --test-dir $(WINBUILD) --output-on-failure -j 1 $(CTEST_ARGS) && \
	   tests/e2e/probe_wine_e2e.sh $(BUILD) $(WINBUILD) && tests/e2e/scan_wine_e2e.sh $(BUILD) $(WINBUILD)'
	cmake --build $(WINBUILD) --target msi msi_older
	rm -rf $(WINBUILD)/wineprefix-msi
	$(LAB) -- tests/lab/wine.sh --prefix $(WINBUILD)/wineprefix-msi -- tests/package/msi_wine_test.sh \
	  $(WINBUILD)/$(MSI) $(WINBUILD)/msi-test/kta310-older-x64.msi $(VERSION)

# The version lives in CMakeLists.txt; the release is named after it.
VERSION := $(shell sed -n 's/^project.kta310 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DIST    := dist/kta310-$(VERSION)
MSI     := kta310-$(VERSION)-x64.msi
# kta-scan.exe names the makers of the devices from these, beside itself.
IEEE_DATA := $(wildcard /usr/share/ieee-data/oui.csv /usr/share/ieee-data/mam.csv /usr/share/ieee-data/oui36.csv)

# The release folder: Linux and Windows programs with README and licence, as tar.gz and zip,
# and the Windows Installer package beside them. The Debian packages of make deb stay there too.
dist: build windows msi
	rm -rf $(DIST) $(DIST).tar.gz $(DIST).zip
	mkdir -p $(DIST)/linux $(DIST)/windows $(DIST)/docs
	cp $(BUILD)/app/kta-probe $(BUILD)/tools/kta-scan $(BUILD)/tools/kta-devsim $(DIST)/linux/
	strip --strip-debug $(DIST)/linux/*
	cp res/kta-probe.desktop res/kta-probe.xpm res/kta-scan.bash-completion \
	  $(BUILD)/res/example.corvane.kta310.metainfo.xml $(DIST)/linux/
	cp $(WINBUILD)/app/kta-probe.exe $(WINBUILD)/tools/kta-scan.exe $(IEEE_DATA) $(DIST)/windows/
	cp README.md LICENSE $(DIST)/
	cp docs/screenshot.png $(DIST)/docs/
	cd dist && tar czf kta310-$(VERSION).tar.gz kta310-$(VERSION) && zip -qr kta310-$(VERSION).zip kta310-$(VERSION)
	@echo "dist: dist/kta310-$(VERSION).tar.gz, dist/kta310-$(VERSION).zip and dist/$(MSI)"

# The Windows Installer package of the two programs, from res/kta310.wxs (cmake/msi.cmake).
msi: windows
	cmake --build $(WINBUILD) --target msi
	mkdir -p dist
	cp $(WINBUILD)/$(MSI) dist/
	@echo "msi: dist/$(MSI)"

# kta310 (the window tool, kta-scan, desktop entry, icon, AppStream metadata,
# completion, manual pages) and
# kta310-devsim, built from the build tree by CPack, then checked.
deb: deps build
	mkdir -p dist
	rm -f dist/kta310_$(VERSION)_*.deb dist/kta310-devsim_$(VERSION)_*.deb
	cd $(BUILD) && cpack -G DEB -B $(abspath dist)/cpack
	mv dist/cpack/*.deb dist/ && rm -rf dist/cpack
	tests/package/deb_check.sh dist $(VERSION)
	@echo "deb: dist/kta310_$(VERSION)_amd64.deb and dist/kta310-devsim_$(VERSION)_amd64.deb"

# Only these two need the linters; CI does not install them.
format lint: DEB_PACKAGES += clang-tidy cppcheck

format: deps
	clang-format -i $(SOURCES)

format-check: deps
	@clang-format --dry-run --Werror $(SOURCES) || { echo "make: run make format to lay these out as .clang-format says"; exit 1; }

# The _win32 files are not in the native build's compile database.
lint: deps configure
	clang-tidy -p $(BUILD) --quiet --warnings-as-errors='*' $(filter-out %_win32.cpp %_win32_test.cpp %_win32_lab_test.cpp,$(filter %.cpp,$(SOURCES)))
	cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability --library=googletest \
	  --suppress=missingIncludeSystem -I . $(filter-out %_win32.cpp %_win32_test.cpp %_win32_lab_test.cpp,$(filter %.cpp,$(SOURCES)))

clean:
	rm -rf $(BUILD) $(WINBUILD) $(ASANBUILD) $(TSANBUILD) $(FUZZBUILD) $(BENCHBUILD)

$(ASANBUILD)/build.ninja:
	cmake -S . -B $(ASANBUILD) $(CMAKE_GEN) $(SAN_FLAGS) -DKTA_SANITIZE=address,undefined

$(TSANBUILD)/build.ninja:
	cmake -S . -B $(TSANBUILD) $(CMAKE_GEN) $(SAN_FLAGS) -DKTA_SANITIZE=thread

test-asan: deps $(ASANBUILD)/build.ninja
	cmake --build $(ASANBUILD) -j $(JOBS)
	$(LAB) --devices 300 -- tests/sanitizers/check.sh $(ASANBUILD) -j $(JOBS) $(SAN_CTEST_ARGS) $(CTEST_ARGS)

test-tsan: deps $(TSANBUILD)/build.ninja
	cmake --build $(TSANBUILD) -j $(JOBS)
	$(LAB) --devices 300 -- tests/sanitizers/check.sh $(TSANBUILD) -j $(JOBS) $(SAN_CTEST_ARGS) $(CTEST_ARGS)

$(BENCHBUILD)/build.ninja:
	cmake -S . -B $(BENCHBUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKTA_BENCH=ON -DKTA_WERROR=ON

# Only what the benchmarks run: at -O3 GCC 12 reports a false -Wrestrict in a test's std::string.
BENCH_TARGETS := kta-probe kta-scan kta-devsim x_close_request udp_tap \
                 support_bench tcp_cx_bench platform_bench channel_window_bench probe_window_bench \
                 rmem_cap_preload probe_first_window
bench: deps $(BENCHBUILD)/build.ninja
	cmake --build $(BENCHBUILD) -j $(JOBS) --target $(BENCH_TARGETS)
	bench/run.sh $(BENCHBUILD) BENCHMARKS.md

$(FUZZBUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) $(CMAKE_GEN) $(SAN_FLAGS) -DKTA_FUZZ=ON

fuzz-build: deps $(FUZZBUILD)/build.ninja
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fuzz_targets

# In the lab although no target sends: a lookup that slipped in would stay there.
fuzz: fuzz-build
	$(LAB) -- tests/fuzz/run.sh $(FUZZBUILD) $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	$(LAB) -- tests/fuzz/run.sh $(FUZZBUILD) $(FUZZ_SMOKE_SECONDS)
