package com.tovex.maven;

/**
 * One {@code <classPath>} entry: {@code <entry>lib/*.jar</entry>}, or
 * {@code <entry><path>plugins/x.jar</path><required>false</required></entry>}
 * for an entry the application may run without.
 */
public class ClassPathEntry {
    String path;
    boolean required = true;

    /** The text form, {@code <entry>lib/x.jar</entry>}. */
    public void set(String path) {
        this.path = path;
    }
}
