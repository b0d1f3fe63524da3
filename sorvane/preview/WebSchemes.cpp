#include "WebSchemes.h"

#include "MarkdownPreview.h"

void registerWebSchemes()
{
    MarkdownPreview::registerSchemes();
}
