package tovextest;

import java.awt.EventQueue;

/** Test application: reports what the starter handed it. */
public class EchoApp {
    public static void main(String[] args) {
        for (String a : args) {
            System.out.println("arg:" + a);
        }
        System.out.println("program:" + System.getProperty("tovex.programName"));
        System.out.println("gui:" + System.getProperty("tovex.gui"));
        System.out.println("edt:" + EventQueue.isDispatchThread());
        System.err.println("to-stderr");
    }
}
