/* Marks the classes and functions that libkel.so exports; everything else stays inside it. */
#ifndef KEL_EXPORT_H
#define KEL_EXPORT_H

#if defined(__GNUC__)
#define KEL_EXPORT __attribute__((visibility("default")))
#else
#define KEL_EXPORT
#endif

#endif
