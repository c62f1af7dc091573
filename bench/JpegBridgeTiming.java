import java.awt.image.BufferedImage;
import java.awt.image.DataBufferInt;
import java.awt.image.DirectColorModel;
import java.awt.image.Raster;
import java.awt.image.SinglePixelPackedSampleModel;
import java.awt.image.WritableRaster;
import java.io.File;
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.util.Arrays;
import javax.imageio.IIOImage;
import javax.imageio.ImageIO;
import javax.imageio.ImageWriteParam;
import javax.imageio.ImageWriter;
import javax.imageio.stream.ImageOutputStream;

/**
 * The JPEG export from Java against the Java platform's own JPEG writer, in one VM:
 * Kestrilo.saveJPEG and javax.imageio's writer at quality 0.9 on the same int[] (a BufferedImage
 * over the array itself, no copy), in interleaved rounds. Prints the first call of each apart,
 * the medians of the rounds, their ratio, how the two files compare, and what a refused call
 * (height one row too large, so the bridge reads nothing) costs.
 *
 *   java -Djava.library.path=build/out -cp build/out:<classes> JpegBridgeTiming \
 *       <picture file: width x height little-endian ints> <width> <height> <output folder> [rounds]
 */
public class JpegBridgeTiming {
    public static void main(String[] args) throws IOException {
        int[] pixels = readPixels(new File(args[0]));
        int width = Integer.parseInt(args[1]), height = Integer.parseInt(args[2]);
        File folder = new File(args[3]);
        int rounds = args.length > 4 ? Integer.parseInt(args[4]) : 9;
        if (pixels.length != width * height) throw new IllegalArgumentException("picture size");
        File ours = new File(folder, "kestrilo.jpg");
        File platforms = new File(folder, "imageio.jpg");
        BufferedImage image = wrap(pixels, width, height);

        long start = System.nanoTime();
        Kestrilo.saveJPEG(ours.getPath(), pixels, width, height);
        double firstOurs = (System.nanoTime() - start) / 1e6;
        start = System.nanoTime();
        writeWithImageIo(image, platforms);
        double firstPlatform = (System.nanoTime() - start) / 1e6;
        String sameBytes = compare(Files.readAllBytes(ours.toPath()),
                                   Files.readAllBytes(platforms.toPath()));
        long jpegBytes = ours.length();

        // Wall-clock time, and the calling thread's processor time (both writers compress on the
        // calling thread), which other work on a shared machine disturbs less.
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        double[] saveJpeg = new double[rounds], saveJpegCpu = new double[rounds];
        double[] imageIo = new double[rounds], imageIoCpu = new double[rounds];
        double[] refused = new double[rounds];
        for (int round = 0; round < rounds; ++round) {
            // Alternate which goes first, so that neither always follows the other's garbage.
            for (int turn = 0; turn < 2; ++turn) {
                long cpu = threads.getCurrentThreadCpuTime();
                start = System.nanoTime();
                if ((round + turn) % 2 == 0) {
                    Kestrilo.saveJPEG(ours.getPath(), pixels, width, height);
                    saveJpeg[round] = (System.nanoTime() - start) / 1e6;
                    saveJpegCpu[round] = (threads.getCurrentThreadCpuTime() - cpu) / 1e6;
                } else {
                    writeWithImageIo(image, platforms);
                    imageIo[round] = (System.nanoTime() - start) / 1e6;
                    imageIoCpu[round] = (threads.getCurrentThreadCpuTime() - cpu) / 1e6;
                }
            }
            start = System.nanoTime();
            Kestrilo.saveJPEG(new File(folder, "refused.jpg").getPath(), pixels, width, height + 1);
            refused[round] = (System.nanoTime() - start) / 1e6;
        }
        ours.delete();
        platforms.delete();

        System.out.printf("picture %dx%d, JPEG %d bytes; saveJPEG's and ImageIO's files: %s%n",
                          width, height, jpegBytes, sameBytes);
        System.out.printf("first call: saveJPEG %.1f ms, ImageIO %.1f ms%n", firstOurs,
                          firstPlatform);
        System.out.printf("saveJPEG median %.1f ms, processor %.1f ms %s%n", median(saveJpeg),
                          median(saveJpegCpu), list(saveJpeg));
        System.out.printf("ImageIO quality 0.9 median %.1f ms, processor %.1f ms %s%n",
                          median(imageIo), median(imageIoCpu), list(imageIo));
        System.out.printf("refused call (bridge only) median %.3f ms%n", median(refused));
        System.out.printf("ImageIO / saveJPEG: %.2f (processor %.2f)%n",
                          median(imageIo) / median(saveJpeg),
                          median(imageIoCpu) / median(saveJpegCpu));
    }

    /** How two JPEG files compare; the platform's writer says JFIF 1.02 where ours says 1.01. */
    static String compare(byte[] ours, byte[] platforms) {
        if (Arrays.equals(ours, platforms)) return "identical";
        final int minorVersion = 12;  // SOI, APP0 marker and length, "JFIF\0", major version
        if (ours.length != platforms.length || ours.length <= minorVersion) return "DIFFERENT";
        for (int i = 0; i < ours.length; ++i) {
            if (i != minorVersion && ours[i] != platforms[i]) return "DIFFERENT";
        }
        return String.format("identical but for the JFIF version (1.%02d, 1.%02d)",
                             ours[minorVersion], platforms[minorVersion]);
    }

    static int[] readPixels(File file) throws IOException {
        ByteBuffer bytes = ByteBuffer.wrap(Files.readAllBytes(file.toPath()));
        int[] pixels = new int[bytes.remaining() / 4];
        bytes.order(ByteOrder.LITTLE_ENDIAN).asIntBuffer().get(pixels);
        return pixels;
    }

    /** A TYPE_INT_RGB-like image whose pixels are the array itself. */
    static BufferedImage wrap(int[] pixels, int width, int height) {
        int[] masks = {0xFF0000, 0xFF00, 0xFF};
        DataBufferInt buffer = new DataBufferInt(pixels, pixels.length);
        WritableRaster raster = Raster.createWritableRaster(
                new SinglePixelPackedSampleModel(buffer.getDataType(), width, height, masks),
                buffer, null);
        return new BufferedImage(new DirectColorModel(24, masks[0], masks[1], masks[2]), raster,
                                 false, null);
    }

    static void writeWithImageIo(BufferedImage image, File file) throws IOException {
        ImageWriter writer = ImageIO.getImageWritersByFormatName("jpeg").next();
        ImageWriteParam param = writer.getDefaultWriteParam();
        param.setCompressionMode(ImageWriteParam.MODE_EXPLICIT);
        param.setCompressionQuality(0.9f);
        file.delete();
        try (ImageOutputStream out = ImageIO.createImageOutputStream(file)) {
            writer.setOutput(out);
            writer.write(null, new IIOImage(image, null, null), param);
        } finally {
            writer.dispose();
        }
    }

    static double median(double[] values) {
        double[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[sorted.length / 2];
    }

    static String list(double[] values) {
        StringBuilder text = new StringBuilder("(rounds");
        for (double value : values) text.append(String.format(" %.1f", value));
        return text.append(")").toString();
    }
}
