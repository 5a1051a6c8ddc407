package com.vennic.runtime;

import java.io.PrintStream;
import java.util.Properties;

/**
 * How the redirected output files roll and are pruned, as the launcher passes
 * its settings: one system property under "vennic.output." for each setting
 * that is set. Without any of them the files are appended to for ever, as
 * they always were.
 */
final class OutputRolling {

    static final String PREFIX = "vennic.output.";
    static final String MAX_SIZE = PREFIX + "maxSize";
    static final String ROLL_DAILY = PREFIX + "rollDaily";
    static final String KEEP_FILES = PREFIX + "keepFiles";
    static final String MAX_AGE_DAYS = PREFIX + "maxAgeDays";
    static final String MAX_TOTAL_SIZE = PREFIX + "maxTotalSize";
    static final String ROLL_ON_START = PREFIX + "rollOnStart";

    static final OutputRolling NONE = new OutputRolling(0, false, 0, 0, 0, false);

    /** Roll once the current file has reached this many bytes; 0: never by size. */
    final long maxSize;
    /** Roll at the first line after local midnight. */
    final boolean daily;
    /** Rolled files kept; 0: no limit by count. */
    final int keepFiles;
    /** Rolled files older than this many days are removed; 0: no limit by age. */
    final int maxAgeDays;
    /** The oldest rolled files are removed while all together hold more bytes; 0: no limit. */
    final long maxTotalSize;
    /** Roll a file that is not empty when the run starts. */
    final boolean rollOnStart;

    OutputRolling(long maxSize, boolean daily, int keepFiles, int maxAgeDays, long maxTotalSize,
            boolean rollOnStart) {
        this.maxSize = maxSize;
        this.daily = daily;
        this.keepFiles = keepFiles;
        this.maxAgeDays = maxAgeDays;
        this.maxTotalSize = maxTotalSize;
        this.rollOnStart = rollOnStart;
    }

    /** Whether any setting asks for rolling or pruning. */
    boolean isActive() {
        return maxSize > 0 || daily || keepFiles > 0 || maxAgeDays > 0 || maxTotalSize > 0 || rollOnStart;
    }

    /**
     * The settings from the launcher's properties. A value that cannot be
     * read is named once on the warnings stream and ignored: the output is
     * written all the same.
     */
    static OutputRolling fromProperties(Properties properties, PrintStream warnings) {
        return new OutputRolling(size(properties, MAX_SIZE, "outputMaxSize", warnings),
                flag(properties, ROLL_DAILY, "outputRollDaily", warnings),
                count(properties, KEEP_FILES, "outputKeepFiles", warnings),
                count(properties, MAX_AGE_DAYS, "outputMaxAgeDays", warnings),
                size(properties, MAX_TOTAL_SIZE, "outputMaxTotalSize", warnings),
                flag(properties, ROLL_ON_START, "outputRollOnStart", warnings));
    }

    /**
     * A size as the launcher reads the JVM's memory sizes: decimal digits and
     * at most one of the letters k, m, g, t (either case) as a binary
     * multiplier. -1 when the text is no such size: empty, a sign, a blank, a
     * fraction, two letters such as "kb", another letter, or beyond 63 bits.
     */
    static long parseSize(String text) {
        int at = 0;
        long value = 0;
        while (at < text.length() && text.charAt(at) >= '0' && text.charAt(at) <= '9') {
            int digit = text.charAt(at) - '0';
            if (value > (Long.MAX_VALUE - digit) / 10) {
                return -1;
            }
            value = value * 10 + digit;
            at++;
        }
        if (at == 0 || text.length() - at > 1) {
            return -1;
        }
        if (at == text.length()) {
            return value;
        }
        int shift;
        switch (text.charAt(at)) {
            case 'k': case 'K': shift = 10; break;
            case 'm': case 'M': shift = 20; break;
            case 'g': case 'G': shift = 30; break;
            case 't': case 'T': shift = 40; break;
            default: return -1;
        }
        return value > (Long.MAX_VALUE >> shift) ? -1 : value << shift;
    }

    private static long size(Properties properties, String key, String setting, PrintStream warnings) {
        String text = properties.getProperty(key);
        if (text == null) {
            return 0;
        }
        long value = parseSize(text);
        if (value < 0) {
            warnings.println("vennic: " + setting + " \"" + text
                    + "\" is not a size (digits, then at most one of k, m, g, t); it is ignored");
            return 0;
        }
        return value;
    }

    private static int count(Properties properties, String key, String setting, PrintStream warnings) {
        String text = properties.getProperty(key);
        if (text == null) {
            return 0;
        }
        // The launcher passes the number in decimal; nine digits are plenty.
        boolean digits = !text.isEmpty() && text.length() <= 9;
        for (int i = 0; digits && i < text.length(); i++) {
            digits = text.charAt(i) >= '0' && text.charAt(i) <= '9';
        }
        if (!digits) {
            warnings.println("vennic: " + setting + " \"" + text + "\" is not a count; it is ignored");
            return 0;
        }
        return Integer.parseInt(text);
    }

    private static boolean flag(Properties properties, String key, String setting, PrintStream warnings) {
        String text = properties.getProperty(key);
        if (text == null || text.equals("false")) {
            return false;
        }
        if (!text.equals("true")) {
            warnings.println("vennic: " + setting + " \"" + text + "\" is neither true nor false; it is ignored");
            return false;
        }
        return true;
    }
}
