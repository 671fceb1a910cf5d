#include "Analysis.h"

void HaarStep()
{
    // not built yet
}
