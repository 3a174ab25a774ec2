package tovextest;

/** A first-run hook that stops the launch. */
public class RefusingHook {
    public static boolean firstRun() {
        return false;
    }
}
