import java.io.File;
import java.util.Arrays;

/**
 * What the Java bridge adds to a JPEG export: times Kestrilo.saveJPEG on a 4000 x 3000 picture,
 * and the same call with a height one row too large, which the library refuses right after the
 * bridge has copied the array (so it costs the JNI call and the copy, and nothing else).
 *
 *   java -Djava.library.path=build/out -cp build/out:<classes> JpegBridgeTiming <file> [rounds]
 */
public class JpegBridgeTiming {
    public static void main(String[] args) {
        String file = args[0];
        int rounds = args.length > 1 ? Integer.parseInt(args[1]) : 7;
        int width = 4000, height = 3000;
        int[] pixels = new int[width * height];
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int grain = ((x * 31 + y * 17) ^ (x * y)) & 15;
                pixels[y * width + x] = ((x / 16 + grain) & 0xFF) << 16
                        | ((y / 12 + grain) & 0xFF) << 8 | ((x + y) / 28 & 0xFF);
            }
        }
        double[] whole = new double[rounds];
        double[] copyOnly = new double[rounds];
        for (int round = 0; round < rounds; ++round) {
            long start = System.nanoTime();
            Kestrilo.saveJPEG(file, pixels, width, height);
            whole[round] = (System.nanoTime() - start) / 1e6;
            start = System.nanoTime();
            Kestrilo.saveJPEG(file + ".refused", pixels, width, height + 1);
            copyOnly[round] = (System.nanoTime() - start) / 1e6;
        }
        new File(file).delete();
        System.out.printf("saveJPEG 4000x3000 from Java: median %.1f ms (rounds %s)%n",
                          median(whole), Arrays.toString(round1(whole)));
        System.out.printf("bridge array copy (refused call): median %.1f ms (rounds %s)%n",
                          median(copyOnly), Arrays.toString(round1(copyOnly)));
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    static double[] round1(double[] values) {
        double[] out = new double[values.length];
        for (int i = 0; i < values.length; ++i) out[i] = Math.round(values[i] * 10) / 10.0;
        return out;
    }
}
