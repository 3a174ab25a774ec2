/* Machine-dependent JNI types for 32-bit Windows, used with the build
   machine's JDK jni.h by the launcher and the stand-in jvm.dll: on Windows
   JNI functions use the __stdcall convention and jint is a long. */
#ifndef TOVEX_JNI_MD_H
#define TOVEX_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
