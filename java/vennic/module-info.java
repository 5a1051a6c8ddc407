/** The vennic family's Java-side runtime, started by the native launcher. */
module com.vennic.runtime {
    exports com.vennic.runtime;
}
