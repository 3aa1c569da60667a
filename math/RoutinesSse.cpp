// The SSE and SSE2 sets.
#include "math/RoutineTable.h"

void InstallSseSet(MathRoutineTable&) {}
void InstallSse2Set(MathRoutineTable&) {}
bool MathHasSimdSets() { return false; }
