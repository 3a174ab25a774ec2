package tovextest;

/** A first-run hook that fails. */
public class FailingHook {
    public static boolean firstRun() {
        throw new IllegalStateException("hook failed");
    }
}
