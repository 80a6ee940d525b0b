// Export macro of libfresco: the class Fresco is the library's one public
// interface; everything else stays internal to the library.
#pragma once

#if defined(_WIN32)
#  if defined(FRESCO_BUILDING_LIBRARY)
#    define FRESCO_EXPORT __declspec(dllexport)
#  else
#    define FRESCO_EXPORT __declspec(dllimport)
#  endif
#else
#  define FRESCO_EXPORT __attribute__((visibility("default")))
#endif
