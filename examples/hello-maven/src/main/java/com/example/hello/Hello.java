package com.example.hello;

import com.tovex.runtime.TovexController;
import com.tovex.runtime.WinLauncher;

import java.awt.BorderLayout;
import java.awt.GraphicsEnvironment;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JScrollPane;
import javax.swing.JTextArea;
import javax.swing.SwingUtilities;
import javax.swing.WindowConstants;

/**
 * The example application: greets the user and lists the arguments it was
 * started with, on standard output and, with a display, in a window.
 */
public final class Hello {
    private Hello() {
    }

    public static void main(String[] args) {
        TovexController.setStatusText("Saying hello...");
        StringBuilder text = new StringBuilder();
        text.append("Hello from ").append(System.getProperty(WinLauncher.PROGRAM_NAME_PROPERTY, "Hello"))
                .append('\n');
        text.append(args.length).append(args.length == 1 ? " argument" : " arguments").append('\n');
        for (int i = 0; i < args.length; i++) {
            text.append("argument ").append(i).append(": ").append(args[i]).append('\n');
        }
        System.out.print(text);
        System.out.flush();

        if (GraphicsEnvironment.isHeadless()) {
            TovexController.hideSplash();
            return;
        }
        SwingUtilities.invokeLater(() -> showWindow(text.toString()));
    }

    private static void showWindow(String text) {
        JFrame frame = new JFrame("Hello");
        frame.setDefaultCloseOperation(WindowConstants.DISPOSE_ON_CLOSE);
        frame.add(new JLabel("Hello from tovex!"), BorderLayout.NORTH);
        JTextArea area = new JTextArea(text, 8, 40);
        area.setEditable(false);
        frame.add(new JScrollPane(area), BorderLayout.CENTER);
        frame.pack();
        frame.setLocationRelativeTo(null);
        frame.setVisible(true);
        // The launcher hides the splash screen on this first window as well.
        TovexController.hideSplash();
    }
}
