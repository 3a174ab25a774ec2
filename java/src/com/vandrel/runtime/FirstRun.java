package com.vandrel.runtime;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * First-run hook of the installer flavour. The launcher calls
 * {@link #firstRun()} before the starter class while its first-run marker
 * file exists; true lets the launch go on, false (or an exception) ends it
 * without starting the application.
 *
 * <p>Default: when the system property {@link #HOOK_PROPERTY} names a class
 * (for instance set through the configured JVM options), that class's public
 * static boolean firstRun() decides; otherwise the launch goes on.
 */
public final class FirstRun {
    /** System property naming the class whose static firstRun() decides. */
    public static final String HOOK_PROPERTY = "tovex.firstRunHook";

    private FirstRun() {
    }

    public static boolean firstRun() throws Exception {
        String hook = System.getProperty(HOOK_PROPERTY);
        if (hook == null || hook.isEmpty()) {
            return true;
        }
        ClassLoader loader = Thread.currentThread().getContextClassLoader();
        if (loader == null) {
            loader = ClassLoader.getSystemClassLoader();
        }
        Method method = Class.forName(hook, true, loader).getMethod("firstRun");
        if (!Modifier.isStatic(method.getModifiers()) || method.getReturnType() != boolean.class) {
            throw new NoSuchMethodException(hook + ": no public static boolean firstRun()");
        }
        try {
            return ((Boolean) method.invoke(null)).booleanValue();
        } catch (java.lang.reflect.InvocationTargetException e) {
            Throwable cause = e.getCause();
            if (cause instanceof Exception) {
                throw (Exception) cause;
            }
            if (cause instanceof Error) {
                throw (Error) cause;
            }
            throw e;
        }
    }
}
