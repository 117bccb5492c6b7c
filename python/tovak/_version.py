"""The package's version, written here alone: the build reads it from this
file for the distribution's metadata, and the package, its commands and its
run directories take it from here."""

__version__ = "0.1.0"
