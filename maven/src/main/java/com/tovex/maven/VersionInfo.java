package com.tovex.maven;

/**
 * The plugin's {@code <versionInfo>} element: the version information Explorer
 * shows. What is left out comes from the project (its version and name).
 */
public class VersionInfo {
    String fileVersion;
    String productVersion;
    String productVersionText;
    String productName;
    String companyName;
    String fileDescription;
    String copyright;
}
