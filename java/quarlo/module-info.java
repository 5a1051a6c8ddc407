/**
 * The quarlo family's Java-side runtime. It carries the vennic runtime's
 * package too, which holds the shared launch code and the splash settings.
 */
module com.quarlo.runtime {
    exports com.quarlo.runtime.launcher;
    exports com.quarlo.runtime.installer.platform.win32;
    exports com.vennic.runtime;
}
