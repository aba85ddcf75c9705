import os
import lit.formats

config.name = "vekt"
config.test_format = lit.formats.ShTest(execute_external=True)
config.suffixes = [".asm", ".test"]
config.excludes = ["Inputs"]
config.test_source_root = os.path.dirname(__file__)
config.test_exec_root = os.path.join(config.vekt_binary_dir, "tests", "lit")

config.substitutions.append(("%vekt", os.path.join(config.vekt_binary_dir, "vekt")))
config.substitutions.append(("%isa-probe", os.path.join(config.vekt_binary_dir, "isa-probe")))
config.substitutions.append(("%ieee-probe", os.path.join(config.vekt_binary_dir, "ieee-probe")))

# FileCheck, not and count come from the same LLVM tools folder.
tools_dir = os.path.dirname(config.filecheck)
config.environment["PATH"] = os.pathsep.join([tools_dir, config.environment.get("PATH", os.environ.get("PATH", ""))])
config.environment["LC_ALL"] = "C"

# Device nodes of a test's own need root.
if hasattr(os, "geteuid") and os.geteuid() == 0:
    config.available_features.add("root")

# The library that makes one allocation of a run fail, where the build made it.
fail_alloc = os.path.join(config.vekt_binary_dir, "vekt-fail-alloc.so")
if os.path.exists(fail_alloc):
    config.substitutions.append(("%fail-alloc", fail_alloc))
    config.available_features.add("fail-alloc")

# A sanitizer reserves far more address space than the program uses: a limit on
# it says nothing about the program then. Tests that need the limit to fail require
# the feature; tests that only bound a run with it write "%limit-address-space KIB",
# which under a sanitizer sets no limit, so that what they check besides runs there.
if getattr(config, "vekt_sanitize", "OFF").upper() not in ("ON", "TRUE", "1", "YES"):
    config.available_features.add("address-space-limit")
    config.substitutions.append(("%limit-address-space", "ulimit -v"))
else:
    config.substitutions.append(("%limit-address-space", ":"))
