package com.quarlo.runtime.launcher;

/**
 * The quarlo family's launcher class. It takes the same arguments as the
 * vennic one and starts the application the same way.
 */
public final class WinLauncher {

    private WinLauncher() {
    }

    public static void main(String[] args) throws Throwable {
        com.vennic.runtime.WinLauncher.main(args);
    }
}
