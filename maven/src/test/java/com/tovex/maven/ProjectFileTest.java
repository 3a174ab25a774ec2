package com.tovex.maven;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import org.junit.Test;

public class ProjectFileTest {
    @Test
    public void projectVersionsBecomeWindowsVersions() {
        String[][] cases = {
            {"1.0-SNAPSHOT", "1.0.0.0"},
            {"1", "1.0.0.0"},
            {"2.1.3.7", "2.1.3.7"},
            {"1.2.3-rc1", "1.2.3.0"},
            {"007.65535", "7.65535.0.0"},
            {"1.65536", null},
            {"1.2.3.4.5", null},
            {"99999999999999999999", null},
            {"release", null},
            {"", null},
        };
        for (String[] c : cases) {
            assertEquals(c[0], c[1], WindowsVersion.numeric(c[0]));
        }
        assertTrue(WindowsVersion.hasQualifier("1.0-SNAPSHOT"));
        assertFalse(WindowsVersion.hasQualifier("1.2.3"));
    }

    @Test
    public void valuesStayOnOneLineAndEveryLineKeepsItsOrigin() {
        ProjectFile file = new ProjectFile();
        file.line("# comment");
        file.string("msgNoJvm", "Needs \"Java\"\nC:\\Java\t\u0001", "<messages><msgNoJvm>");
        file.table("runtime", "<runtime>");
        file.list("search", java.util.Arrays.asList("\"registry\""), "<runtime><search>");
        assertEquals("# comment\nmsgNoJvm = \"Needs \\\"Java\\\"\\nC:\\\\Java\\t\\u0001\"\n\n[runtime]\n"
            + "search = [\"registry\"]\n", file.text());
        assertNull(file.originOfLine(1));
        assertEquals("<messages><msgNoJvm>", file.originOfLine(2));
        assertNull(file.originOfLine(3));
        assertEquals("<runtime>", file.originOfLine(4));
        assertEquals("<runtime><search>", file.originOfLine(5));
        assertNull(file.originOfLine(6));
        assertNull(file.originOfLine(0));
    }

    @Test
    public void toolMessagesAboutTheProjectFileNameThePomElement() {
        ProjectFile file = new ProjectFile();
        file.line("# comment");
        file.string("icon", "/x/missing.ico", "<icon>");
        String path = "/p/target/tovex.toml";
        String[][] cases = {
            {path + ":2:8: error: icon: no such file", path + ":2:8: error: icon: no such file (from the POM: <icon>)"},
            {path + ":2: warning: w", path + ":2: warning: w (from the POM: <icon>)"},
            {path + ":1:1: error: x", path + ":1:1: error: x"},
            {path + ":9:1: error: x", path + ":9:1: error: x"},
            {"/other.toml:2:1: error: x", "/other.toml:2:1: error: x"},
            {"wrote app.exe (5 bytes)", "wrote app.exe (5 bytes)"},
        };
        for (String[] c : cases) {
            assertEquals(c[1], ToolMessages.annotate(c[0], path, file));
        }
    }

    @Test
    public void commentsAndKeysStayOnTheirLine() {
        ProjectFile file = new ProjectFile();
        file.comment("from /p/a\nvmParameters = \"x\"\r\n/pom.xml");
        file.value("msgNoJvm", "\"a\"", "<settings><msgNoJvm>");
        file.value("a.b = 1\nc", "2", "<settings>");
        assertEquals("# from /p/a\\nvmParameters = \\\"x\\\"\\r\\n/pom.xml\nmsgNoJvm = \"a\"\n"
            + "\"a.b = 1\\nc\" = 2\n", file.text());
    }
}
