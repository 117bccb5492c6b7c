# What the package's extension modules share: the interpreter, found once;
# the limited API when the build targets the stable ABI; and a C++ runtime
# linked into each module, so that a wheel needs no libstdc++ of the machine
# that installs it.
#
# scikit-build-core sets SKBUILD_SABI_COMPONENT (Development.SABIModule) and
# SKBUILD_SABI_VERSION ("3.12") when wheel.py-api in pyproject.toml asks for an
# abi3 wheel; a build that overrides wheel.py-api (-Cwheel.py-api=) leaves them
# empty and gets the full API. With the component found, Python::SABIModule
# exists, which is also what nanobind's STABLE_ABI modules need.
find_package(Python 3.12 REQUIRED COMPONENTS Interpreter Development.Module ${SKBUILD_SABI_COMPONENT})

if(SKBUILD_SABI_COMPONENT)
  # The package's oldest interpreter, for a scikit-build-core that names the
  # component but not the version.
  set(TOVAK_PYTHON_SABI_VERSION "${SKBUILD_SABI_VERSION}")
  if(NOT TOVAK_PYTHON_SABI_VERSION)
    set(TOVAK_PYTHON_SABI_VERSION 3.12)
  endif()
  message(STATUS "Python extension modules: limited API of ${TOVAK_PYTHON_SABI_VERSION} (abi3)")
else()
  set(TOVAK_PYTHON_SABI_VERSION "")
  message(STATUS "Python extension modules: full API of Python ${Python_VERSION}")
endif()

# The C++ runtime and libgcc linked statically, and none of their symbols
# exported: two modules (or the interpreter's own libstdc++, loaded by some
# other extension) never see each other's copy.
function(tovak_portable_runtime target)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--exclude-libs,ALL)
endfunction()

# A module of the raw C API: the sources given, named with the interpreter's
# suffix (.abi3.so for the limited API), with a runtime of its own.
function(tovak_add_python_module target)
  if(TOVAK_PYTHON_SABI_VERSION)
    python_add_library(${target} MODULE WITH_SOABI USE_SABI ${TOVAK_PYTHON_SABI_VERSION} ${ARGN})
  else()
    python_add_library(${target} MODULE WITH_SOABI ${ARGN})
  endif()
  tovak_portable_runtime(${target})
  # The limited API makes every reference count change and every list store a
  # call into the interpreter (legal_moves() makes two per move); calling
  # through the GOT instead of a PLT stub takes a jump out of each.
  target_compile_options(${target} PRIVATE -fno-plt)
endfunction()
