package com.quarlo.runtime.installer.platform.win32;

/**
 * The installer helper's Java half. The launcher tells it whether the helper
 * library's natives were registered, so that callers can choose a pure Java
 * way where they are missing.
 */
public final class Common {

    private static volatile boolean nativesAvailable;

    private Common() {
    }

    /** Called by the launcher: true before it registers the natives, false when that failed. */
    public static void initFromLauncher(boolean available) {
        nativesAvailable = available;
    }

    public static boolean nativesAvailable() {
        return nativesAvailable;
    }
}
