package tovextest;

import com.tovex.runtime.TovexController;

/**
 * Plays the application and the splash thread in turn. Each argument is one
 * step: "set:TEXT" and "hide" are the application's calls, "action" and
 * "text" the splash thread's polls, whose answers are printed one per line.
 */
public class ControllerProbe {
    public static void main(String[] args) {
        for (String step : args) {
            if (step.startsWith("set:")) {
                TovexController.setStatusText(step.substring(4));
            } else if (step.equals("hide")) {
                TovexController.hideSplash();
            } else if (step.equals("action")) {
                System.out.println(TovexController.getAction());
            } else if (step.equals("text")) {
                System.out.println(TovexController.getText());
            } else {
                throw new IllegalArgumentException(step);
            }
        }
    }
}
