package com.tovex.runtime;

import java.io.File;
import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.charset.Charset;
import java.util.ArrayList;
import java.util.List;

/**
 * Receives the arguments of later starts of a single-instance executable.
 *
 * <p>A later start writes its arguments into the hand-over file that the
 * system property "tovex.processCommFile" names: UTF-16LE code units, no
 * byte-order mark, the arguments as one text exactly as typed, ended by a line
 * feed. This class reads such a file, deletes it (which lets the next start
 * hand over) and passes each start's argument text to the listener. A file
 * that does not end with a line feed yet is still being written and is left
 * for the next poll.
 *
 * <p>{@link #start(Listener)} polls on a daemon thread; {@link #poll()} reads
 * once on the calling thread.
 */
public final class InstanceHandOver {
    /** System property naming the hand-over file; set by the launcher. */
    public static final String FILE_PROPERTY = "tovex.processCommFile";
    /** Default poll interval of {@link #start(Listener)}, in milliseconds. */
    public static final long DEFAULT_INTERVAL_MILLIS = 250;

    private static final Charset UTF_16LE = Charset.forName("UTF-16LE");

    /** Receives the argument text of one later start (possibly empty). */
    public interface Listener {
        void newStart(String arguments);
    }

    private final File file;
    private final Listener listener;
    private volatile Thread thread;

    public InstanceHandOver(File file, Listener listener) {
        if (file == null || listener == null) {
            throw new NullPointerException(file == null ? "file" : "listener");
        }
        this.file = file;
        this.listener = listener;
    }

    /**
     * Starts polling the file named by "tovex.processCommFile" on a daemon
     * thread. Returns null when the property is not set (the executable is
     * not single-instance).
     */
    public static InstanceHandOver start(Listener listener) {
        String name = System.getProperty(FILE_PROPERTY);
        if (name == null || name.isEmpty()) {
            return null;
        }
        InstanceHandOver handOver = new InstanceHandOver(new File(name), listener);
        handOver.startPolling(DEFAULT_INTERVAL_MILLIS);
        return handOver;
    }

    public File getFile() {
        return file;
    }

    /** Starts the daemon polling thread; does nothing when it runs already. */
    public synchronized void startPolling(final long intervalMillis) {
        if (thread != null) {
            return;
        }
        Thread t = new Thread(new Runnable() {
            @Override
            public void run() {
                while (thread == Thread.currentThread()) {
                    poll();
                    try {
                        Thread.sleep(intervalMillis);
                    } catch (InterruptedException e) {
                        return;
                    }
                }
            }
        }, "tovex hand-over");
        t.setDaemon(true);
        thread = t;
        t.start();
    }

    /** Stops the polling thread. */
    public synchronized void stop() {
        Thread t = thread;
        thread = null;
        if (t != null) {
            t.interrupt();
        }
    }

    /**
     * Reads the file once. When it holds a complete hand-over, deletes it and
     * passes each start's arguments to the listener; returns the number of
     * starts passed on. A listener's exception is printed and does not stop
     * the polling.
     */
    public int poll() {
        List<String> starts = readAndDelete();
        for (String arguments : starts) {
            try {
                listener.newStart(arguments);
            } catch (RuntimeException e) {
                e.printStackTrace();
            }
        }
        return starts.size();
    }

    private List<String> readAndDelete() {
        List<String> starts = new ArrayList<String>();
        if (!file.isFile()) {
            return starts;
        }
        byte[] content;
        try {
            RandomAccessFile in = new RandomAccessFile(file, "r");
            try {
                long length = in.length();
                if (length > Integer.MAX_VALUE) {
                    return starts;
                }
                content = new byte[(int) length];
                in.readFully(content);
            } finally {
                in.close();
            }
        } catch (IOException e) {
            return starts;
        }
        int n = content.length;
        if (n < 2 || n % 2 != 0 || content[n - 2] != '\n' || content[n - 1] != 0) {
            return starts; // still being written
        }
        if (!file.delete()) {
            return starts; // the writer still holds it; the next poll takes it
        }
        String text = new String(content, 0, n - 2, UTF_16LE);
        if (text.startsWith("\uFEFF")) {
            text = text.substring(1);
        }
        int from = 0;
        while (true) {
            int end = text.indexOf('\n', from);
            if (end < 0) {
                starts.add(text.substring(from));
                return starts;
            }
            starts.add(text.substring(from, end));
            from = end + 1;
        }
    }
}
