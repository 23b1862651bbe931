// One include, named by the build: compiles only when the probe's target
// links the library that publishes the header.
#include PROBE_HEADER

int LayerProbe() { return 0; }
