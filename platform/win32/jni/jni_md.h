/* The machine-dependent part of the JNI headers for Windows, for a cross build that takes jni.h
   from a JDK of another system. The types are those of every Windows JDK: jint 32 bits, jlong 64
   bits. JNI functions are stdcall on 32-bit x86, the only Windows ABI where it differs from the
   C convention; entry points are exported from the DLL. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#if defined(__i386__) || defined(_M_IX86)
#define JNICALL __stdcall
#else
#define JNICALL
#endif

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
