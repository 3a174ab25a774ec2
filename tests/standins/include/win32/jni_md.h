/* Machine-dependent JNI types for 32-bit Windows, used with the JDK's jni.h
   when the stand-in jvm.dll is cross-built: on Windows JNI functions use the
   __stdcall convention and jint is a long. */
#ifndef TOVEX_STANDIN_JNI_MD_H
#define TOVEX_STANDIN_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
