package com.vennic.runtime;

/** A launcher class without main, as a broken runtime would have it. */
public final class WinLauncher {
    private WinLauncher() {
    }
}
