#pragma once

// Minimal stand-in until the preview's own AppearanceMode lands: the user's colour
// scheme choice. Raw values "Auto", "Light", "Dark" under the setting "appearanceMode".
enum class AppearanceMode { automatic, light, dark };
