package tovextest;

import com.vandrel.runtime.FirstRun;

/** Prints what FirstRun.firstRun() answers. */
public class FirstRunProbe {
    public static void main(String[] args) throws Exception {
        System.out.println("firstRun:" + FirstRun.firstRun());
    }
}
