// jvm_probe DLL [option...]: loads DLL as the launcher loads jvm.dll, finds
// JNI_CreateJavaVM and calls it with the options (an "exit" hook is added, as
// launchers add one). When the VM is made, runs com/example/Main.main with
// the arguments "one two" and "three", then destroys the VM.
// Exit codes: 0 done, 1 not loaded, 2 no JNI_CreateJavaVM, 3 creation
// failed, 4 main not found or threw.
#include <windows.h>

#include <cstdio>
#include <vector>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

namespace {

typedef jint(JNICALL* CreateJavaVM)(JavaVM**, void**, void*);

void JNICALL exitHook(jint code) { std::printf("exit hook %ld\n", code); }

int runMain(JNIEnv* env) {
  jclass main = env->FindClass("com/example/Main");
  if (main == nullptr) return 4;
  jmethodID method = env->GetStaticMethodID(main, "main", "([Ljava/lang/String;)V");
  if (method == nullptr) return 4;
  jobjectArray args = env->NewObjectArray(2, env->FindClass("java/lang/String"), nullptr);
  env->SetObjectArrayElement(args, 0, env->NewStringUTF("one two"));
  env->SetObjectArrayElement(args, 1, env->NewStringUTF("three"));
  env->CallStaticVoidMethod(main, method, args);
  if (env->ExceptionOccurred()) {
    env->ExceptionDescribe();
    return 4;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: jvm_probe DLL [option...]\n");
    return 5;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::printf("not loaded: error %lu\n", GetLastError());
    return 1;
  }
  CreateJavaVM create = reinterpret_cast<CreateJavaVM>(
      reinterpret_cast<void*>(GetProcAddress(module, "JNI_CreateJavaVM")));
  if (create == nullptr) {
    std::printf("JNI_CreateJavaVM missing\n");
    return 2;
  }
  std::vector<JavaVMOption> options;
  for (int i = 2; i < argc; ++i) options.push_back(JavaVMOption{argv[i], nullptr});
  options.push_back(JavaVMOption{const_cast<char*>("exit"), reinterpret_cast<void*>(&exitHook)});
  JavaVMInitArgs init{JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(), JNI_TRUE};
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  jint result = create(&vm, reinterpret_cast<void**>(&env), &init);
  std::printf("JNI_CreateJavaVM %ld\n", result);
  if (result != JNI_OK) return 3;
  int status = runMain(env);
  vm->DestroyJavaVM();
  return status;
}
