package org.winlaunch.maven;

/**
 * TOML text for the packer, built a line at a time. Every key and every
 * string is written as a basic string with the escapes TOML defines, so the
 * packer reads back exactly the text it was given, whatever it holds.
 */
final class TomlText {
    private final StringBuilder text = new StringBuilder();

    TomlText comment(String line) {
        text.append("# ").append(line.replace("\n", " ").replace("\r", " ")).append('\n');
        return this;
    }

    /** A table header, such as "settings" or "resources.version". */
    TomlText table(String name) {
        text.append('\n').append('[').append(name).append("]\n");
        return this;
    }

    /** An element of an array of tables, such as "file". */
    TomlText arrayElement(String name) {
        text.append('\n').append("[[").append(name).append("]]\n");
        return this;
    }

    TomlText string(String key, String value) {
        return literal(key, quote(value));
    }

    /** A value written as it is: an integer or a boolean. */
    TomlText literal(String key, String value) {
        text.append(quote(key)).append(" = ").append(value).append('\n');
        return this;
    }

    @Override
    public String toString() {
        return text.toString();
    }

    /**
     * A TOML basic string. Control characters become escapes; every other
     * character stays as it is (the file is UTF-8). A lone surrogate has no
     * UTF-8 form and is refused.
     */
    static String quote(String value) {
        StringBuilder out = new StringBuilder(value.length() + 2).append('"');
        for (int i = 0; i < value.length(); i++) {
            char c = value.charAt(i);
            if (Character.isHighSurrogate(c) && i + 1 < value.length() && Character.isLowSurrogate(value.charAt(i + 1))) {
                out.append(c).append(value.charAt(++i));
                continue;
            }
            if (Character.isSurrogate(c)) {
                throw new IllegalArgumentException("the text \"" + value.substring(0, i)
                        + "\u2026\" holds half of a surrogate pair, which has no UTF-8 form");
            }
            switch (c) {
                case '"': out.append("\\\""); break;
                case '\\': out.append("\\\\"); break;
                case '\b': out.append("\\b"); break;
                case '\t': out.append("\\t"); break;
                case '\n': out.append("\\n"); break;
                case '\f': out.append("\\f"); break;
                case '\r': out.append("\\r"); break;
                default:
                    if (c < 0x20 || c == 0x7F) out.append(String.format("\\u%04X", (int) c));
                    else out.append(c);
            }
        }
        return out.append('"').toString();
    }
}
