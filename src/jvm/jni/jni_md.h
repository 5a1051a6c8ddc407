/* The machine-dependent half of the JNI headers for the Windows builds. The
 * published jni.h comes from the installed JDK and includes this file by
 * name; the JDK on the build machine only has its own platform's version.
 *
 * On 32-bit Windows every JNI function and the invocation exports use the
 * stdcall convention; a mismatch there would corrupt the stack on every call.
 * On 64-bit Windows the attribute is accepted and ignored. */
#ifndef WINLAUNCH_JNI_MD_H
#define WINLAUNCH_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* Windows is LLP64: int is 32 bits in both builds. */
typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
