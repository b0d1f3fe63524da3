#include "EditorRequestHub.h"

EditorRequestHub &EditorRequestHub::shared()
{
    // Never destroyed: editors may still disconnect from it while the process ends.
    static EditorRequestHub *instance = new EditorRequestHub;
    return *instance;
}
