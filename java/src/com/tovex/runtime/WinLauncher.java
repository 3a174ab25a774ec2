package com.tovex.runtime;

import java.awt.EventQueue;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The starter class that the tovex launcher calls after it has created the JVM.
 *
 * <p>Argument vector, in this order:
 * <ol>
 * <li>"true" for a GUI executable, else "false" (published as {@link #GUI_PROPERTY});</li>
 * <li>the application's main class, dotted form;</li>
 * <li>the file for standard error, empty for no redirection;</li>
 * <li>the file for standard output, empty for no redirection;</li>
 * <li>the starter flag: "true" runs the application's main on the AWT event
 *     dispatch thread, anything else on the calling thread;</li>
 * <li>the program name (absent when the launcher had none; published as
 *     {@link #PROGRAM_NAME_PROPERTY});</li>
 * <li>the application's arguments.</li>
 * </ol>
 *
 * <p>Every failure to start the application, and every exception thrown by the
 * application's main, is thrown on to the caller unchanged, so the launcher can
 * report it.
 */
public final class WinLauncher {
    /** System property holding the program name as the launcher received it. */
    public static final String PROGRAM_NAME_PROPERTY = "tovex.programName";
    /** System property holding "true" for a GUI executable, "false" otherwise. */
    public static final String GUI_PROPERTY = "tovex.gui";

    /** Number of launch parameters that precede the program name. */
    public static final int LAUNCH_PARAMETERS = 5;

    private WinLauncher() {
    }

    public static void main(String[] args) throws Exception {
        if (args == null || args.length < LAUNCH_PARAMETERS) {
            throw new IllegalArgumentException("tovex starter: expected at least " + LAUNCH_PARAMETERS
                    + " launch parameters, got " + (args == null ? 0 : args.length));
        }
        boolean gui = "true".equals(args[0]);
        String mainClassName = args[1];
        String errorFile = args[2];
        String outputFile = args[3];
        boolean onEventThread = "true".equals(args[4]);
        String[] applicationArgs;
        if (args.length > LAUNCH_PARAMETERS) {
            System.setProperty(PROGRAM_NAME_PROPERTY, args[LAUNCH_PARAMETERS]);
            applicationArgs = Arrays.copyOfRange(args, LAUNCH_PARAMETERS + 1, args.length);
        } else {
            applicationArgs = new String[0];
        }
        System.setProperty(GUI_PROPERTY, Boolean.toString(gui));

        PrintStream err = openAppending(errorFile);
        if (err != null) {
            System.setErr(err);
        }
        PrintStream out = openAppending(outputFile);
        if (out != null) {
            System.setOut(out);
        }

        Method main = findMain(mainClassName);
        if (onEventThread) {
            runOnEventThread(main, applicationArgs);
        } else {
            invoke(main, applicationArgs);
        }
    }

    /**
     * Opens a file for appending, creating it when missing; null for an empty
     * name. A file that cannot be opened leaves the stream as it is (a
     * read-only installation directory must not stop the application) and is
     * reported on the current standard error.
     */
    private static PrintStream openAppending(String fileName) {
        if (fileName == null || fileName.isEmpty()) {
            return null;
        }
        try {
            return new PrintStream(new FileOutputStream(fileName, true), true);
        } catch (IOException e) {
            System.err.println("tovex starter: cannot redirect to " + fileName + ": " + e);
            return null;
        }
    }

    private static Method findMain(String className) throws ClassNotFoundException, NoSuchMethodException {
        if (className == null || className.isEmpty()) {
            throw new ClassNotFoundException("tovex starter: no main class configured");
        }
        ClassLoader loader = Thread.currentThread().getContextClassLoader();
        if (loader == null) {
            loader = ClassLoader.getSystemClassLoader();
        }
        Class<?> mainClass = Class.forName(className, true, loader);
        Method main = mainClass.getMethod("main", String[].class);
        if (!Modifier.isStatic(main.getModifiers())) {
            throw new NoSuchMethodException("tovex starter: " + className + ".main(String[]) is not static");
        }
        if (main.getReturnType() != void.class) {
            throw new NoSuchMethodException("tovex starter: " + className + ".main(String[]) does not return void");
        }
        main.setAccessible(true);
        return main;
    }

    private static void invoke(Method main, String[] applicationArgs) throws Exception {
        try {
            main.invoke(null, (Object) applicationArgs);
        } catch (InvocationTargetException e) {
            throw rethrow(e.getCause());
        }
    }

    private static void runOnEventThread(final Method main, final String[] applicationArgs) throws Exception {
        final Throwable[] failure = new Throwable[1];
        try {
            EventQueue.invokeAndWait(new Runnable() {
                @Override
                public void run() {
                    try {
                        invoke(main, applicationArgs);
                    } catch (Throwable t) {
                        failure[0] = t;
                    }
                }
            });
        } catch (InvocationTargetException e) {
            throw rethrow(e.getCause());
        }
        if (failure[0] != null) {
            throw rethrow(failure[0]);
        }
    }

    private static Exception rethrow(Throwable t) {
        if (t instanceof Error) {
            throw (Error) t;
        }
        if (t instanceof Exception) {
            return (Exception) t;
        }
        return new Exception(t);
    }
}
