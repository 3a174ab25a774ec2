/* Machine-dependent JNI types for Windows, used with the build machine's JDK
   jni.h by the launcher and the stand-in jvm.dll: on 32-bit Windows JNI
   functions use the __stdcall convention; x86-64 has a single calling
   convention. jint is a long, 32 bits on both. */
#ifndef TOVEX_JNI_MD_H
#define TOVEX_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#ifdef _WIN64
#define JNICALL
#else
#define JNICALL __stdcall
#endif

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
