# Two commands for a fresh clone:
#   make run    builds the tool and starts it on the sample data in examples/
#   make test   builds everything and runs every test
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
CMAKE_FLAGS ?=

WINDOWS_BUILD ?= build-windows

.PHONY: all tool run test test-sanitize test-without-gdal bench clean windows test-windows package package-windows

all: $(BUILD)/build.ninja
	cmake --build $(BUILD)

# The tool alone, without the tests.
tool: $(BUILD)/build.ninja
	cmake --build $(BUILD) --target mesacrop

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

# The sample folders are copied under the build folder, so that results never
# land among the sources.
RUN_IMAGES = $(CURDIR)/$(BUILD)/images

run: tool
	mkdir -p $(RUN_IMAGES) && cp -R examples/. $(RUN_IMAGES)/
	@echo "Folders are looked for in $(RUN_IMAGES)/ (try the folder demo)"
	MESACROP_IMAGES=$(RUN_IMAGES) $(BUILD)/tool/mesacrop

test: all
	ctest --test-dir $(BUILD) --output-on-failure

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMESACROP_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD)
	ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure

# The same tests of a build without GDAL: the tool's own formats alone.
NO_GDAL_BUILD ?= build-without-gdal
test-without-gdal:
	cmake -S . -B $(NO_GDAL_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DMESACROP_GDAL=OFF
	cmake --build $(NO_GDAL_BUILD)
	ctest --test-dir $(NO_GDAL_BUILD) --output-on-failure

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD) $(NO_GDAL_BUILD)

# The Windows program, cross-compiled with MinGW-w64, with its GDAL module
# (GDAL built for Windows by windows/build-gdal.sh once, into a prefix outside
# the clone), and its unit tests. A new prefix (the script changed) starts
# CMake's cache afresh, which holds the old one's paths.
windows:
	prefix=$$(windows/build-gdal.sh) && \
	if [ "$$(cat $(WINDOWS_BUILD)/gdal-prefix 2>/dev/null)" != "$$prefix" ]; then rm -f $(WINDOWS_BUILD)/CMakeCache.txt; fi && \
	cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake -DMESACROP_GTEST_SOURCE=/usr/src/googletest \
	  -DMESACROP_GDAL=ON -DCMAKE_PREFIX_PATH="$$prefix" -DCMAKE_FIND_ROOT_PATH="$$prefix" && \
	echo "$$prefix" > $(WINDOWS_BUILD)/gdal-prefix
	cmake --build $(WINDOWS_BUILD)

# The Windows package's programs under Wine, beside the Linux build's results.
test-windows: all package-windows
	tests/windows/run.sh $(BUILD) $(WINDOWS_BUILD)

# Times the tool on generated data against GDAL and the I/O floor.
bench:
	bench/run.sh

# A Debian package of the tool and its manual page: build/mesacrop_VERSION_amd64.deb.
package: tool
	cd $(BUILD) && cpack -G DEB

# The Windows program, its GDAL module, PROJ's data (proj/), the README and
# the demo data, as one zip: build-windows/mesacrop-VERSION-windows.zip.
WINDOWS_PACKAGE = $(WINDOWS_BUILD)/package/mesacrop
package-windows: windows
	rm -rf $(WINDOWS_BUILD)/package && mkdir -p $(WINDOWS_PACKAGE)
	cp $(WINDOWS_BUILD)/tool/mesacrop.exe $(WINDOWS_BUILD)/tool/mesacrop_gdal.dll README.md $(WINDOWS_PACKAGE)/
	x86_64-w64-mingw32-strip $(WINDOWS_PACKAGE)/mesacrop.exe $(WINDOWS_PACKAGE)/mesacrop_gdal.dll
	cp -R "$$(windows/build-gdal.sh)/share/proj" $(WINDOWS_PACKAGE)/proj
	cp -R examples/demo $(WINDOWS_PACKAGE)/demo
	cd $(WINDOWS_BUILD)/package && cmake -E tar cf ../mesacrop-$$(sed -n 's/.*kVersion = "\(.*\)".*/\1/p' $(CURDIR)/tool/version.h)-windows.zip --format=zip mesacrop
