# make run   build an optimised hullbench and run it in out/
# make test  build and run every test (the end-to-end ones take a whole run of the program)
# Missing Debian packages are installed with apt-get when run as root; otherwise the command to
# install them is printed.

BUILD ?= build
RUN_PACKAGES := cmake g++
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev

.PHONY: run test test-fast build clean

run:
	$(call need,$(RUN_PACKAGES))
	@$(MAKE) --no-print-directory build
	mkdir -p out
	cd out && ../$(BUILD)/hullbench

test:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure --parallel 2

# The tests without the slow end-to-end runs.
test-fast:
	$(call need,$(TEST_PACKAGES))
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure --label-exclude slow

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --parallel 2

clean:
	rm -rf $(BUILD) out

# $(call need,PACKAGES): installs those of the Debian PACKAGES that are missing.
define need
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' "$$p" 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "hullbench needs Debian packages that are missing; run:" >&2; \
	    echo "  sudo apt-get install -y$$missing" >&2; \
	    exit 1; \
	  fi; \
	fi
endef
