#pragma once

// Registers the URL schemes the web views load pages through. Must run before the
// QApplication exists (Qt WebEngine reads the registry once, at start).
void registerWebSchemes();
