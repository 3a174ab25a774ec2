package tovextest;

/** Test application without a main method. */
public class NoMainApp {
    public static void start(String[] args) {
        System.out.println("must not run");
    }
}
