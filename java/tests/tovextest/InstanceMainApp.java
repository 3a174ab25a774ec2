package tovextest;

/** Test application whose main is not static. */
public class InstanceMainApp {
    public void main(String[] args) {
        System.out.println("must not run");
    }
}
