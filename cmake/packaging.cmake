# Release packages.
