package tovextest;

/** Test application whose main fails. */
public class ThrowingApp {
    public static void main(String[] args) throws Exception {
        throw new java.io.IOException("failure inside the application");
    }
}
