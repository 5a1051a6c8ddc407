package org.winlaunch.maven;

import java.io.File;
import java.util.Map;

/**
 * The {@code <resources>} element of the plugin's configuration: the
 * executable's icon and its version information, as {@code [resources]} and
 * {@code [resources.version]} of the TOML file set them.
 */
public class Resources {
    /** An .ico file; every image in it becomes the executable's icon. */
    private File icon;

    /**
     * Version strings by their names: FileVersion, ProductVersion,
     * ProductName, CompanyName, FileDescription, LegalCopyright,
     * OriginalFilename. FileVersion and ProductVersion default to the
     * project's version.
     */
    private Map<String, String> version;

    File getIcon() {
        return icon;
    }

    Map<String, String> getVersion() {
        return version;
    }
}
