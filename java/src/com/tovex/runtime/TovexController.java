package com.tovex.runtime;

/**
 * The splash screen's controller. The launcher's splash thread polls
 * {@link #getAction()} ten times a second once the JVM exists; the
 * application calls {@link #setStatusText(String)} and {@link #hideSplash()}
 * from any thread.
 *
 * <p>Actions: {@link #ACTION_HIDE} once the application asked to hide the
 * splash screen (and from then on), else {@link #ACTION_TEXT} while a status
 * text has been set that {@link #getText()} has not fetched yet, else
 * {@link #ACTION_NONE}.
 *
 * <p>The splash screen draws characters up to U+00FF; its status line ends
 * before the first character above U+00FF.
 */
public final class TovexController {
    public static final int ACTION_NONE = 0;
    public static final int ACTION_HIDE = 1;
    public static final int ACTION_TEXT = 2;

    private static final Object LOCK = new Object();
    private static boolean hideRequested;
    private static boolean textPending;
    private static String text;

    private TovexController() {
    }

    /** Makes the given text the splash screen's status line. */
    public static void setStatusText(String statusText) {
        if (statusText == null) {
            throw new NullPointerException("statusText");
        }
        synchronized (LOCK) {
            text = statusText;
            textPending = true;
        }
    }

    /** Hides the splash screen for good. */
    public static void hideSplash() {
        synchronized (LOCK) {
            hideRequested = true;
        }
    }

    /** True once {@link #hideSplash()} has been called. */
    public static boolean isHideRequested() {
        synchronized (LOCK) {
            return hideRequested;
        }
    }

    /** Polled by the launcher's splash thread. */
    public static int getAction() {
        synchronized (LOCK) {
            if (hideRequested) {
                return ACTION_HIDE;
            }
            return textPending ? ACTION_TEXT : ACTION_NONE;
        }
    }

    /**
     * Called by the splash thread after {@link #ACTION_TEXT}: the latest
     * status text (null when none was ever set); marks it as fetched.
     */
    public static String getText() {
        synchronized (LOCK) {
            textPending = false;
            return text;
        }
    }
}
