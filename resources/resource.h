#pragma once

// Resource identifiers shared by the resource script and the program.
#define STRAVIK_ICON 1
