#pragma once
// Finding the face file for a font request, through the system's own font
// lookup (fontconfig on Linux, GDI on Windows), so the usual substitutions
// apply there ("Helvetica" gives whatever sans face the system puts in its
// place). The drawing code opens and renders the face itself.
//
// Not thread-safe: the caller serialises every call.

#include <memory>
#include <string>

struct FontFaceSource {
    // Where the face comes from: shown in reports, and opened as a file when
    // data is empty.
    std::string file;
    int index = 0;  // face within a collection file
    // The face's bytes, when the system hands them over instead of a path.
    std::shared_ptr<const std::string> data;
    // The face lacks the asked weight or slant: the caller must make it up.
    bool embolden = false;
    bool oblique = false;
    // The lookup could not tell whether the face is bold or italic itself:
    // the caller looks at the face.
    bool styleFromFace = false;
};

// Platform::lookupFontFace: family is never empty ("sans-serif" stands for
// the default sans face). False when nothing usable was found.
// Platform::releaseFontLookup gives back what the lookup holds (at exit, for
// leak checkers); later lookups find nothing. Faces already handed out stay
// usable.
