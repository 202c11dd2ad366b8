// aldctl's format.cpp built into the fuzz support library, so that the fuzz
// targets reach the command-line controller's text readers without the
// program around them (aldctl links neither aldglue nor aldlink).
#include "tools/aldctl/format.cpp"
