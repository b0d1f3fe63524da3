#include "WebSchemes.h"

#include "window/MarkdownPreview.h"

void registerWebSchemes()
{
    MarkdownPreview::registerSchemes();
}
