package com.tovex.maven;

import java.util.List;

/** The plugin's {@code <runtime>} element: where and which Java runtime the executable looks for. */
public class RuntimeSettings {
    /** Places to search, in order: bundled, env:NAME, registry, path, dir:FOLDER. */
    List<String> search;
    /** The bundled runtime's folder, relative to the executable. */
    String bundled;
    String minVersion;
    String maxVersion;
}
