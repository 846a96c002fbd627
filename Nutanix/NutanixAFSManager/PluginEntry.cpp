// The shared library is built from the plug-in static library; see CMakeLists.txt.
