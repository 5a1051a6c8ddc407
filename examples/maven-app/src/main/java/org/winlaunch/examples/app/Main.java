package org.winlaunch.examples.app;

import java.net.URL;
import java.security.CodeSource;

import org.apache.commons.lang3.StringUtils;

/** Greets the names it is given, with a little help from commons-lang3. */
public final class Main {
    private Main() {
    }

    public static void main(String[] args) {
        String names = args.length == 0 ? "world" : StringUtils.join(args, " and ");
        System.out.println("Hello, " + StringUtils.capitalize(names) + "!");
        System.out.println(StringUtils.class.getName() + " from " + origin(StringUtils.class));
    }

    private static String origin(Class<?> type) {
        CodeSource source = type.getProtectionDomain().getCodeSource();
        URL location = source == null ? null : source.getLocation();
        return location == null ? "an unknown place" : location.toString();
    }
}
