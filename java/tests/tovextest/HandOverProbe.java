package tovextest;

import com.tovex.runtime.InstanceHandOver;
import java.io.File;
import java.util.concurrent.CountDownLatch;

/**
 * "poll": reads the hand-over file once and prints each start's arguments,
 * then whether the file is still there. "thread N": starts the daemon reader
 * on the file named by tovex.processCommFile and prints the first N starts.
 */
public class HandOverProbe {
    public static void main(String[] args) throws Exception {
        InstanceHandOver.Listener print = new InstanceHandOver.Listener() {
            @Override
            public void newStart(String arguments) {
                System.out.println("start:[" + arguments + "]");
            }
        };
        if (args[0].equals("poll")) {
            File file = new File(System.getProperty(InstanceHandOver.FILE_PROPERTY));
            new InstanceHandOver(file, print).poll();
            System.out.println("exists:" + file.exists());
        } else {
            final CountDownLatch seen = new CountDownLatch(Integer.parseInt(args[1]));
            InstanceHandOver.start(new InstanceHandOver.Listener() {
                @Override
                public void newStart(String arguments) {
                    System.out.println("start:[" + arguments + "]");
                    seen.countDown();
                }
            });
            seen.await();
        }
    }
}
