#include "serial/TAsync.h"

void InitAsync(PAsync &AsyncPtr)
{
    AsyncPtr = new TAsync;
}

void DoneAsync(PAsync &AsyncPtr)
{
    delete AsyncPtr;
    AsyncPtr = nullptr;
}
