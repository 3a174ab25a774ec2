# A package, so that this directory's conftest does not take the plain module
# name "conftest" that other test directories import from.
