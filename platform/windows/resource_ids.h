#pragma once
// Resource identifiers shared by the executable's resource script and the
// code that loads them.
#define TARNWICK_ICON 1
