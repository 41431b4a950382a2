// Included by every header of the drawing and the shell: the window-free core is compiled with
// TINKLEWOOD_WINDOW_FREE_CORE defined, so a core source that reaches one of these headers, by
// name or by a relative path, stops the build here.
#pragma once
#ifdef TINKLEWOOD_WINDOW_FREE_CORE
#error "the window-free core cannot include the drawing or the shell"
#endif
