// The AMD sets.
#include "math/RoutineTable.h"

void Install3DNowSet(MathRoutineTable&) {}
void InstallAthlonSet(MathRoutineTable&) {}
void InstallAmdSseArraySet(MathRoutineTable&) {}
