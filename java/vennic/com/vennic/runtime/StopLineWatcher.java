package com.vennic.runtime;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;

/**
 * In a service worker the service process tells the application to stop by
 * writing the stop line "0" to its standard input and closing it. The watcher
 * reads standard input on a daemon thread and ends the JVM through
 * System.exit(0) on the stop line or at the end of input, so the application's
 * shutdown hooks run.
 */
final class StopLineWatcher {

    static final String STOP_LINE = "0";

    private StopLineWatcher() {
    }

    static void start(final InputStream input) {
        // A class of its own rather than a lambda: the first lambda of a JVM
        // costs its start the bootstrap of the lambda machinery.
        Thread watcher = new Thread(new Runnable() {
            @Override
            public void run() {
                waitForStop(input);
                System.exit(0);
            }
        }, "vennic-stop-line");
        watcher.setDaemon(true);
        watcher.start();
    }

    /** Returns at the stop line, at the end of input or when reading fails. */
    static void waitForStop(InputStream input) {
        BufferedReader reader = new BufferedReader(new InputStreamReader(input, StandardCharsets.US_ASCII));
        try {
            String line;
            while ((line = reader.readLine()) != null) {
                if (line.trim().equals(STOP_LINE)) {
                    return;
                }
            }
        } catch (IOException e) {
            // a broken pipe ends the input as well
        }
    }
}
