# The package's version: the project's, set in project() of CMakeLists.txt;
# the PythonPackageVersion test keeps the two equal.
__version__ = "1.0.0"
