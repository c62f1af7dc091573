/* Stands in for libjvm.so in the tests of the Java VM search: it loads, but it is no Java VM, for
   it has no JNI_CreateJavaVM. */
int tavolin_not_a_vm(void) { return 0; }
