#include "image/work/Pool.h"

QThreadPool& WorkPool()
{
    // Its threads end when the program does, once their work is over.
    static QThreadPool pool;
    return pool;
}
