# The package's one version. The project's CMake version, once it has one,
# is the source this should be kept in step with.
__version__ = "0.1.0"
