// The images themselves are compiled in by qt_add_resources() (see
// CMakeLists.txt), into an object library whose objects every program that
// links skyvane_resources takes in directly, so the images register
// themselves at start-up without Q_INIT_RESOURCE.  A static library needs
// at least one source of its own; this is it.
